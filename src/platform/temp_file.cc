#include "platform/temp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_bytes.h"

namespace vantorel {

namespace {

std::string ErrnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

TempFile::TempFile(std::string path) : path_(std::move(path)) {
  fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    error_ = ErrnoText(path_.c_str());
    return;
  }
  // A file left behind by someone else keeps its mode through O_TRUNC: make it ours again.
  struct stat st{};
  if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || ((st.st_mode & 07777) != 0600 && fchmod(fd_, 0600) != 0)) {
    error_ = path_ + ": not a private regular file";
    close(fd_);
    fd_ = -1;
  }
}

TempFile::~TempFile() {
  if (fd_ >= 0) close(fd_);
  unlink(path_.c_str());
}

bool TempFile::Write(const void* data, size_t size) {
  if (WriteAllBytes(fd_, data, size)) return true;
  error_ = ErrnoText("write");
  return false;
}

bool TempFile::Rewind() {
  if (lseek(fd_, 0, SEEK_SET) == 0) return true;
  error_ = ErrnoText("rewind");
  return false;
}

}  // namespace vantorel
