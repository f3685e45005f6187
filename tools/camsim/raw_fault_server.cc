#include "camsim/raw_fault_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>

namespace vantorel::camsim {

namespace {

// Connections a no-read server holds at once; older ones are dropped, so that a long test
// run does not use up file descriptors.
constexpr size_t kMaxHeld = 64;
// How long a reset waits for the request head before aborting anyway.
constexpr int kHeadWaitMs = 2000;

void Abort(int fd) {
  // Closing with a zero linger sends a reset instead of an orderly end.
  linger l{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  close(fd);
}

}  // namespace

RawFaultServer::RawFaultServer(Mode mode, std::function<void()> on_connection)
    : mode_(mode), on_connection_(std::move(on_connection)) {}

RawFaultServer::~RawFaultServer() { Stop(); }

int RawFaultServer::Start(int port) {
  if (pipe2(wake_, O_CLOEXEC) != 0) return -1;
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) return -1;
  const int one = 1;
  setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  socklen_t len = sizeof addr;
  if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listen_fd_, 64) != 0 ||
      getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return -1;
  }
  thread_ = std::thread([this] { Serve(); });
  return ntohs(addr.sin_port);
}

void RawFaultServer::Stop() {
  if (thread_.joinable()) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = write(wake_[1], &byte, 1);
    thread_.join();
  }
  for (int fd : held_) close(fd);
  held_.clear();
  for (int* fd : {&listen_fd_, &wake_[0], &wake_[1]}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

void RawFaultServer::Serve() {
  for (;;) {
    pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    if (on_connection_) on_connection_();
    if (mode_ == Mode::kReset) {
      Reset(fd);
    } else {
      Hold(fd);
    }
  }
}

// Reads until the end of the request head (or a limit), then aborts the connection.
void RawFaultServer::Reset(int fd) {
  std::string head;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHeadWaitMs);
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 16384) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(fds, 2, static_cast<int>(left)) <= 0 || fds[1].revents) break;
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    head.append(buffer, static_cast<size_t>(n));
  }
  Abort(fd);
}

void RawFaultServer::Hold(int fd) {
  if (held_.size() >= kMaxHeld) {
    Abort(held_.front());
    held_.erase(held_.begin());
  }
  held_.push_back(fd);
}

}  // namespace vantorel::camsim
