#include "platform/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace vantorel {
namespace {

std::string Reason(const std::string& path, const char* what) {
  return path + ": " + what + " (" + std::strerror(errno) + ")";
}

// Closes the descriptor when it goes out of scope.
struct FileDescriptor {
  int fd;
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error, size_t max_bytes) {
  FileDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) {
    error = Reason(path, "cannot open");
    return false;
  }
  struct stat st {};
  if (::fstat(file.fd, &st) != 0) {
    error = Reason(path, "cannot read");
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    error = path + ": is a directory";
    return false;
  }
  bytes.clear();
  // Read in pieces rather than trusting the size: pipes and growing files have none.
  uint8_t piece[65536];
  for (;;) {
    const ssize_t n = ::read(file.fd, piece, sizeof piece);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = Reason(path, "cannot read");
      return false;
    }
    if (n == 0) break;
    if (bytes.size() + static_cast<size_t>(n) > max_bytes) {
      error = path + ": larger than " + std::to_string(max_bytes) + " bytes";
      return false;
    }
    bytes.insert(bytes.end(), piece, piece + n);
  }
  return true;
}

bool WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes, std::string& error) {
  // A name of our own beside the target; O_EXCL never takes over someone else's file, and
  // the mode 0666 leaves the permissions to the user's umask, as for any new file.
  static std::atomic<unsigned> counter{0};
  std::string temp;
  FileDescriptor file{-1};
  for (int attempt = 0; attempt < 100 && file.fd < 0; ++attempt) {
    temp = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    file.fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file.fd < 0 && errno != EEXIST) break;
  }
  if (file.fd < 0) {
    error = Reason(path, "cannot create");
    return false;
  }
  const uint8_t* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(file.fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = Reason(path, "cannot write");
      ::unlink(temp.c_str());
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  const int closed = ::close(file.fd);
  file.fd = -1;
  if (closed != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
    error = Reason(path, "cannot write");
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace vantorel
