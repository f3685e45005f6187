#include "files/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vantorel {
namespace {

std::string Reason(const std::string& path, const char* what) {
  return path + ": " + what + " (" + std::strerror(errno) + ")";
}

template <typename Bytes>
bool ReadWhole(const std::string& path, Bytes& bytes, std::string& error, size_t max_bytes) {
  FileReader file;
  if (!file.Open(path, error)) return false;
  bytes.clear();
  // Read in pieces rather than trusting the size: pipes and growing files have none.
  uint8_t piece[65536];
  for (;;) {
    size_t n = 0;
    if (!file.Read(piece, n, error)) return false;
    if (n == 0) return true;
    if (bytes.size() + n > max_bytes) {
      error = path + ": larger than " + std::to_string(max_bytes) + " bytes";
      return false;
    }
    bytes.insert(bytes.end(), piece, piece + n);
  }
}

}  // namespace

FileReader::~FileReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileReader::Open(const std::string& path, std::string& error) {
  if (fd_ >= 0) ::close(fd_);
  path_ = path;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    error = Reason(path, "cannot open");
    return false;
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
    error = S_ISDIR(st.st_mode) ? path + ": is a directory" : Reason(path, "cannot read");
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  return true;
}

bool FileReader::Read(std::span<uint8_t> bytes, size_t& got, std::string& error) {
  got = 0;
  ssize_t n = -1;
  errno = EBADF;
  do {
    if (fd_ >= 0) n = ::read(fd_, bytes.data(), bytes.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    error = Reason(path_, "cannot read");
    return false;
  }
  got = static_cast<size_t>(n);
  return true;
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error, size_t max_bytes) {
  return ReadWhole(path, bytes, error, max_bytes);
}

bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& error, size_t max_bytes) {
  return ReadWhole(path, bytes, error, max_bytes);
}

bool WriteAllBytes(int fd, const void* data, size_t size, int64_t offset) {
  const auto* p = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = offset >= 0 ? ::pwrite(fd, p + done, size - done, static_cast<off_t>(offset) + static_cast<off_t>(done))
                                  : ::write(fd, p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace vantorel
