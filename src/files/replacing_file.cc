#include "files/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "files/file_bytes.h"

namespace vantorel {
namespace {

std::string Reason(const std::string& path, const char* what) {
  return path + ": " + what + " (" + std::strerror(errno) + ")";
}

// The directory holding `path`, to open for flushing its entries.
std::string DirectoryToSync(const std::string& path) {
  const size_t cut = path.rfind('/');
  if (cut == std::string::npos) return ".";
  return cut == 0 ? "/" : path.substr(0, cut);
}

}  // namespace

NewFile::~NewFile() { Discard(); }

bool NewFile::Open(const std::string& path, NewFileMode mode, std::string& error) {
  Discard();
  // An exact mode is set once the file is ours, from a private start: no one else can open
  // it in between, and the umask cannot narrow it.
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode.exact ? 0600 : mode.bits);
  if (fd_ < 0) {
    const int err = errno;
    error = Reason(path, "cannot create");
    errno = err;  // CreateBeside looks at it
    return false;
  }
  path_ = path;
  if (mode.exact && ::fchmod(fd_, mode.bits) != 0) {
    error = Reason(path, "cannot set the mode of");
    Discard();
    return false;
  }
  return true;
}

bool NewFile::CreateAt(const std::string& path, NewFileMode mode, std::string& error) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    error = Reason(path, "cannot remove");
    return false;
  }
  return Open(path, mode, error);
}

bool NewFile::CreateBeside(const std::string& target, NewFileMode mode, std::string& error) {
  // O_EXCL never takes over someone else's file; a name in use is passed over.
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = target + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    if (Open(name, mode, error)) return true;
    if (errno != EEXIST) break;
  }
  return false;
}

bool NewFile::WriteAt(uint64_t offset, std::span<const uint8_t> bytes, std::string& error) {
  if (fd_ < 0 || !WriteAllBytes(fd_, bytes.data(), bytes.size(), static_cast<int64_t>(offset))) {
    if (fd_ < 0) errno = EBADF;
    error = Reason(path_, "cannot write");
    return false;
  }
  return true;
}

bool NewFile::Keep(std::string& error) {
  if (fd_ < 0) {
    errno = EBADF;
    error = Reason(path_, "cannot write");
    return false;
  }
  const bool synced = ::fsync(fd_) == 0;
  if (!synced) error = Reason(path_, "cannot flush");
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (synced && !closed) error = Reason(path_, "cannot write");
  if (synced && closed) return true;
  ::unlink(path_.c_str());
  return false;
}

void NewFile::Discard() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  ::unlink(path_.c_str());
}

bool RenameDurably(const std::string& from, const std::string& to, std::string& error) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    error = Reason(to, "cannot replace");
    return false;
  }
  const int dir = ::open(DirectoryToSync(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);  // where a directory cannot be flushed, the rename itself has still happened
    ::close(dir);
  }
  return true;
}

ReplacingFile::~ReplacingFile() { Abandon(); }

void ReplacingFile::Abandon() {
  temp_.Discard();
  if (direct_fd_ >= 0) ::close(direct_fd_);
  direct_fd_ = -1;
}

bool ReplacingFile::Create(const std::string& path, NewFileMode new_mode, std::string& error) {
  Abandon();
  path_ = path;
  target_ = path;
  size_ = 0;
  seekable_ = true;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) {
      error = Reason(path, "cannot create");
      return false;
    }
    return temp_.CreateBeside(target_, new_mode, error);
  }
  if (S_ISLNK(st.st_mode)) {
    // The output is the file the link names; the link stays a link.
    if (::stat(path.c_str(), &st) != 0) {
      error = path + ": a symbolic link to nothing; not written through";
      return false;
    }
    if (S_ISREG(st.st_mode)) {
      char real[PATH_MAX];
      if (!::realpath(path.c_str(), real)) {
        error = Reason(path, "cannot follow the link");
        return false;
      }
      target_ = real;
    }
  }
  if (S_ISDIR(st.st_mode)) {
    error = path + ": is a directory";
    return false;
  }
  if (S_ISREG(st.st_mode)) return temp_.CreateBeside(target_, {static_cast<mode_t>(st.st_mode & 0777), true}, error);
  // A device or pipe: written in place, never truncated, renamed over or removed.
  direct_fd_ = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (direct_fd_ < 0) {
    error = Reason(path, "cannot open");
    return false;
  }
  seekable_ = ::lseek(direct_fd_, 0, SEEK_CUR) >= 0;
  return true;
}

bool ReplacingFile::Write(std::span<const uint8_t> bytes, std::string& error) { return WriteAt(size_, bytes, error); }

bool ReplacingFile::WriteAt(uint64_t offset, std::span<const uint8_t> bytes, std::string& error) {
  bool ok = false;
  if (temp_.open()) {
    ok = temp_.WriteAt(offset, bytes, error);
  } else if (direct_fd_ < 0) {
    error = path_ + ": cannot write (not open)";
  } else if (!seekable_ && offset != size_) {
    error = path_ + ": cannot write (cannot go back in a pipe or terminal)";
  } else {
    ok = WriteAllBytes(direct_fd_, bytes.data(), bytes.size(), seekable_ ? static_cast<int64_t>(offset) : -1);
    if (!ok) error = Reason(path_, "cannot write");
  }
  if (!ok) {
    Abandon();
    return false;
  }
  size_ = std::max(size_, offset + bytes.size());
  return true;
}

bool ReplacingFile::Commit(std::string& error) {
  if (direct_fd_ >= 0) {
    const bool closed = ::close(direct_fd_) == 0;
    direct_fd_ = -1;
    if (!closed) error = Reason(path_, "cannot write");
    return closed;
  }
  if (!temp_.open()) {
    error = path_ + ": cannot write (not open)";
    return false;
  }
  // Keep() flushes the file; the rename puts it in place only once it is on disk.
  const std::string temp = temp_.path();
  if (!temp_.Keep(error)) return false;
  if (!RenameDurably(temp, target_, error)) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

bool WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes, std::string& error, NewFileMode new_mode) {
  ReplacingFile file;
  return file.Create(path, new_mode, error) && file.Write(bytes, error) && file.Commit(error);
}

}  // namespace vantorel
