#include "files/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
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

template <typename Bytes>
bool ReadWhole(const std::string& path, Bytes& bytes, std::string& error, size_t max_bytes) {
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
  char piece[65536];
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

// The regular file a symbolic link at `path` names, so that replacing it keeps the link;
// `path` itself for anything else.
std::string ReplacementTarget(const std::string& path) {
  struct stat link {}, file {};
  if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
  if (::stat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode)) return path;
  char real[PATH_MAX];
  return ::realpath(path.c_str(), real) ? std::string(real) : path;
}

}  // namespace

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

bool WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes, std::string& error) {
  ReplacingFile file;
  return file.Create(path, error) && file.Write(bytes, error) && file.Commit(error);
}

ReplacingFile::~ReplacingFile() { Abandon(); }

void ReplacingFile::Abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

bool ReplacingFile::Create(const std::string& path, std::string& error) {
  Abandon();
  path_ = path;
  size_ = 0;
  seekable_ = true;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) {
      error = path + ": is a directory";
      return false;
    }
    // A device or pipe: written in place, never truncated, renamed over or removed.
    fd_ = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
      error = Reason(path, "cannot open");
      return false;
    }
    seekable_ = ::lseek(fd_, 0, SEEK_CUR) >= 0;
    return true;
  }
  target_ = ReplacementTarget(path);
  // A name of our own beside the target; O_EXCL never takes over someone else's file, and
  // the mode 0666 leaves the permissions to the user's umask, as for any new file.
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    const std::string temp = target_ + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    fd_ = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) temp_ = temp;
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    error = Reason(path, "cannot create");
    return false;
  }
  return true;
}

bool ReplacingFile::Write(std::span<const uint8_t> bytes, std::string& error) {
  return WriteAt(size_, bytes, error);
}

bool ReplacingFile::WriteAt(uint64_t offset, std::span<const uint8_t> bytes, std::string& error) {
  if (fd_ < 0) {
    error = path_ + ": cannot write (not open)";
    return false;
  }
  if (!seekable_ && offset != size_) {
    error = path_ + ": cannot write (cannot go back in a pipe or terminal)";
    Abandon();
    return false;
  }
  if (!WriteAllBytes(fd_, bytes.data(), bytes.size(), seekable_ ? static_cast<int64_t>(offset) : -1)) {
    error = Reason(path_, "cannot write");
    Abandon();
    return false;
  }
  size_ = std::max(size_, offset + bytes.size());
  return true;
}

bool ReplacingFile::Commit(std::string& error) {
  if (fd_ < 0) {
    error = path_ + ": cannot write (not open)";
    return false;
  }
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0 || (!temp_.empty() && ::rename(temp_.c_str(), target_.c_str()) != 0)) {
    error = Reason(path_, "cannot write");
    Abandon();
    return false;
  }
  temp_.clear();
  return true;
}

}  // namespace vantorel
