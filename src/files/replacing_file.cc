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
#include <vector>

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

bool NewFile::Open(const std::string& path, const std::string& shown, NewFileMode mode, std::string& error) {
  Discard();
  // An exact mode is set once the file is ours, from a private start: no one else can open
  // it in between, and the umask cannot narrow it.
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode.exact ? 0600 : mode.bits);
  if (fd_ < 0) {
    const int err = errno;
    error = Reason(shown, "cannot create");
    errno = err;  // CreateBeside looks at it
    return false;
  }
  path_ = path;
  shown_ = shown;
  if (mode.exact && ::fchmod(fd_, mode.bits) != 0) {
    error = Reason(shown, "cannot set the mode of");
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
  return Open(path, path, mode, error);
}

bool NewFile::CreateBeside(const std::string& target, NewFileMode mode, std::string& error) {
  // O_EXCL never takes over someone else's file; a name in use is passed over.
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = target + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    if (Open(name, target, mode, error)) return true;
    if (errno != EEXIST) break;
  }
  return false;
}

bool NewFile::WriteAt(uint64_t offset, std::span<const uint8_t> bytes, std::string& error) {
  if (fd_ < 0 || !WriteAllBytes(fd_, bytes.data(), bytes.size(), static_cast<int64_t>(offset))) {
    if (fd_ < 0) errno = EBADF;
    error = Reason(shown_, "cannot write");
    return false;
  }
  return true;
}

bool NewFile::Keep(std::string& error) {
  if (fd_ < 0) {
    errno = EBADF;
    error = Reason(shown_, "cannot write");
    return false;
  }
  const bool synced = ::fsync(fd_) == 0;
  if (!synced) error = Reason(shown_, "cannot flush");
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (synced && !closed) error = Reason(shown_, "cannot write");
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

void NewFile::TakeOver(NewFile& other) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = other.fd_;
  other.fd_ = -1;
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

bool ReplacingFile::Rebuild(std::span<const uint8_t> head, uint64_t keep_from, std::string& error) {
  keep_from = std::min(keep_from, size_);
  if (!temp_.open()) return RebuildInPlace(head, keep_from, error);
  struct stat st {};
  if (::fstat(temp_.fd(), &st) != 0) {
    error = Reason(temp_.path(), "cannot read back");
    Abandon();
    return false;
  }
  NewFile next;
  if (!next.CreateBeside(target_, {static_cast<mode_t>(st.st_mode & 0777), true}, error) ||
      !next.WriteAt(0, head, error)) {
    Abandon();
    return false;
  }
  std::vector<uint8_t> piece(size_t{1} << 20);
  for (uint64_t from = keep_from; from < size_;) {
    const ssize_t n = ::pread(temp_.fd(), piece.data(), std::min<uint64_t>(piece.size(), size_ - from),
                              static_cast<off_t>(from));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      error = Reason(path_, "cannot read back");
      Abandon();
      return false;
    }
    if (!next.WriteAt(head.size() + (from - keep_from), std::span(piece).first(static_cast<size_t>(n)), error)) {
      Abandon();
      return false;
    }
    from += static_cast<uint64_t>(n);
  }
  // The second file takes the first one's name: whoever finds the temporary file after a
  // crash finds one of the two whole.
  if (!RenameDurably(next.path(), temp_.path(), error)) {
    Abandon();
    return false;
  }
  temp_.TakeOver(next);
  size_ = head.size() + (size_ - keep_from);
  return true;
}

bool ReplacingFile::RebuildInPlace(std::span<const uint8_t> head, uint64_t keep_from, std::string& error) {
  if (direct_fd_ < 0 || !seekable_) {
    error = path_ + ": cannot rewrite (not open, or a pipe or terminal)";
    Abandon();
    return false;
  }
  // Moved from the end backwards, so that nothing is overwritten before it is read. What a
  // device does not give back (a sink such as /dev/null) moves as zeros.
  const int reader = ::open(path_.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (reader < 0) {
    error = Reason(path_, "cannot read back");
    Abandon();
    return false;
  }
  const uint64_t kept = size_ - keep_from;
  std::vector<uint8_t> piece(size_t{1} << 20);
  bool ok = true;
  for (uint64_t left = kept; ok && left > 0;) {
    const uint64_t n = std::min<uint64_t>(piece.size(), left);
    left -= n;
    std::fill(piece.begin(), piece.end(), 0);
    ok = ::pread(reader, piece.data(), n, static_cast<off_t>(keep_from + left)) >= 0 &&
         WriteAllBytes(direct_fd_, piece.data(), n, static_cast<int64_t>(head.size() + left));
  }
  ::close(reader);
  if (!ok) {
    error = Reason(path_, "cannot rewrite");
    Abandon();
    return false;
  }
  size_ = 0;
  if (!WriteAt(0, head, error)) return false;
  size_ = head.size() + kept;
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
