#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "runtime/log.h"
#include "runtime/program_dir.h"

namespace vantorel {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// A directory that only `uid` can change: owned by it, no write for group or others, and
// not a symbolic link.
bool PrivateDirectory(const std::string& path, uid_t uid, bool closed_to_all) {
  struct stat st{};
  if (lstat(path.c_str(), &st) != 0) return false;
  const mode_t forbidden = closed_to_all ? 077 : 022;
  if (!S_ISDIR(st.st_mode) || st.st_uid != uid || (st.st_mode & forbidden) != 0) {
    LogFailure("%s is not a private directory of this user; passed over", path.c_str());
    return false;
  }
  return true;
}

// `parent`/`name` as a private directory, made when missing. `parent` itself must be
// closed to writers other than `uid`, or a rename in it could swap our directory.
std::string PrivateSubdirectory(const std::string& parent, const std::string& name, uid_t uid,
                                bool parent_shared) {
  if (parent.empty()) return "";
  if (!parent_shared && !PrivateDirectory(parent, uid, false)) return "";
  const std::string path = parent + "/" + name;
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return "";
  return PrivateDirectory(path, uid, true) ? path : "";
}

bool SocketAddress(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Opens the lock file, ours alone: an entry under the name that is not a regular file
// of this user (planted, or left by something else) is removed and made afresh.
int OpenLockFile(const std::string& path, uid_t uid) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd >= 0) {
      struct stat st{};
      if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == uid && st.st_nlink == 1) return fd;
      close(fd);
    }
    LogFailure("%s is not our lock file; replaced", path.c_str());
    unlink(path.c_str());
  }
  return -1;
}

// Asks the instance listening at `path` to come to the front.
void SendRaise(const std::string& path) {
  sockaddr_un address;
  if (!SocketAddress(path, address)) return;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    // The instance may close the connection before this arrives (the connection alone is
    // the request): MSG_NOSIGNAL keeps that from ending this process with SIGPIPE.
    [[maybe_unused]] const ssize_t n = send(fd, "raise\n", 6, MSG_NOSIGNAL);
  } else {
    LogFailure("the running instance does not answer at %s: %s", path.c_str(), std::strerror(errno));
  }
  close(fd);
}

}  // namespace

InstanceDirectoryInputs InstanceDirectoryInputsFromEnvironment() {
  InstanceDirectoryInputs in;
  in.runtime_dir = Env("XDG_RUNTIME_DIR");
  in.temp_dir = Env("TMPDIR").empty() ? "/tmp" : Env("TMPDIR");
  if (!Env("XDG_CACHE_HOME").empty()) {
    in.cache_dir = Env("XDG_CACHE_HOME");
  } else if (!Env("HOME").empty()) {
    in.cache_dir = Env("HOME") + "/.cache";
  }
  in.uid = getuid();
  return in;
}

std::string ChooseInstanceDirectory(const InstanceDirectoryInputs& in) {
  std::string dir = PrivateSubdirectory(in.runtime_dir, "vantorel", in.uid, false);
  // /tmp is everyone's: the directory's own owner and mode are what count there.
  if (dir.empty()) dir = PrivateSubdirectory(in.temp_dir, "vantorel-" + std::to_string(in.uid), in.uid, true);
  if (dir.empty() && !in.cache_dir.empty() && MakePrivateDirectory(in.cache_dir)) {
    dir = PrivateSubdirectory(in.cache_dir, "vantorel", in.uid, false);
  }
  return dir;
}

std::string InstanceKey(const std::string& program_directory) {
  const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(program_directory),
                                                   QCryptographicHash::Sha256)
                              .toHex()
                              .left(16);
  return "instance-" + hash.toStdString();
}

SingleInstance::SingleInstance(const QString& program_directory, QObject* parent)
    : SingleInstance(program_directory, InstanceDirectoryInputsFromEnvironment(), parent) {}

SingleInstance::SingleInstance(const QString& program_directory, const InstanceDirectoryInputs& dirs,
                               QObject* parent)
    : QObject(parent), directory_(ChooseInstanceDirectory(dirs)) {
  if (!directory_.empty()) base_ = directory_ + "/" + InstanceKey(program_directory.toStdString());
}

SingleInstance::~SingleInstance() {
  notifier_.reset();
  if (listen_fd_ >= 0) {
    close(listen_fd_);
    unlink((base_ + ".sock").c_str());
  }
  // The lock file stays: removing it while another start may have it open would let two
  // instances lock two different files. Closing drops the lock.
  if (lock_fd_ >= 0) close(lock_fd_);
}

bool SingleInstance::Claim() {
  if (directory_.empty()) {
    LogFailure("no private directory for the single-instance lock; running without it");
    return true;
  }
  const uid_t uid = getuid();
  lock_fd_ = OpenLockFile(base_ + ".lock", uid);
  if (lock_fd_ < 0) return true;  // nothing to share safely: run
  if (flock(lock_fd_, LOCK_EX | LOCK_NB) != 0) {
    close(lock_fd_);
    lock_fd_ = -1;
    SendRaise(base_ + ".sock");
    return false;
  }
  // This process is the instance. A socket file left by a crashed one is ours to replace.
  const std::string socket_path = base_ + ".sock";
  unlink(socket_path.c_str());
  sockaddr_un address;
  listen_fd_ = SocketAddress(socket_path, address)
                   ? socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)
                   : -1;
  if (listen_fd_ >= 0 &&
      (bind(listen_fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
       listen(listen_fd_, 8) != 0)) {
    LogFailure("cannot listen at %s: %s", socket_path.c_str(), std::strerror(errno));
    close(listen_fd_);
    listen_fd_ = -1;
  }
  // Without the socket the instance still holds the lock; it just cannot be raised.
  if (listen_fd_ >= 0) AcceptRaiseRequests();
  return true;
}

void SingleInstance::AcceptRaiseRequests() {
  notifier_ = std::make_unique<QSocketNotifier>(listen_fd_, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
    bool raise = false;
    for (;;) {
      const int peer = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (peer < 0) break;
      close(peer);  // a connection is the request; what it says does not matter
      raise = true;
    }
    if (raise) emit activationRequested();
  });
}

}  // namespace vantorel
