#pragma once
// Bare sockets on 127.0.0.1 for tests and benchmarks that play a camera below HTTP.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantorel::test {

// A socket bound to a free port of 127.0.0.1 and listening with `backlog`; its port goes
// to `*port`. `receive_buffer` > 0 sets a small window before the bind, so that a server
// that stops reading makes the sender block soon. -1 on failure.
inline int ListenOnLoopback(int backlog, int* port, int receive_buffer = 0) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (receive_buffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || listen(fd, backlog) != 0) {
    close(fd);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

// Connects a new socket to 127.0.0.1:`port`; -1 on failure.
inline int ConnectToLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A loopback port that nobody listens on: bound for a moment, then closed.
inline int ClosedPort() {
  int port = 0;
  const int fd = ListenOnLoopback(1, &port);
  if (fd >= 0) close(fd);
  return port;
}

}  // namespace vantorel::test
