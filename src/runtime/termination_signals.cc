#include "runtime/termination_signals.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

namespace vantorel {

void IgnoreBrokenPipe() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

TerminationSignals::TerminationSignals() {
  sigemptyset(&set_);
  sigaddset(&set_, SIGINT);
  sigaddset(&set_, SIGTERM);
  if (pthread_sigmask(SIG_BLOCK, &set_, &old_) != 0) return;
  fd_ = signalfd(-1, &set_, SFD_CLOEXEC | SFD_NONBLOCK);
  if (fd_ < 0) pthread_sigmask(SIG_SETMASK, &old_, nullptr);  // the usual effect, then
}

TerminationSignals::~TerminationSignals() {
  if (fd_ < 0) return;
  close(fd_);
  // Pending ones would strike the moment the mask goes: they have been answered already.
  const timespec none{0, 0};
  while (sigtimedwait(&set_, nullptr, &none) > 0) {
  }
  pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}

bool TerminationSignals::Wait(std::chrono::milliseconds limit) {
  if (received_ || fd_ < 0) return received_;
  pollfd watch{fd_, POLLIN, 0};
  int ready;
  do {
    ready = poll(&watch, 1, static_cast<int>(limit.count()));
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) return false;
  signalfd_siginfo info{};
  while (read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) received_ = true;
  return received_;
}

}  // namespace vantorel
