#include "camsim/raw_fault_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <zlib.h>

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace vantorel::camsim {

namespace {

// Connections a no-read server holds at once; older ones are dropped, so that a long test
// run does not use up file descriptors.
constexpr size_t kMaxHeld = 64;
// How long a reset waits for the request head before aborting anyway.
constexpr int kHeadWaitMs = 2000;

// Streaming connections served at once; more are closed at once.
constexpr size_t kMaxStreams = 32;

// A gzip stream that inflates without end: its header, then one piece that can be repeated
// for ever (each is 1 MiB of zeros, ending on a full flush, so that the next repetition
// starts from the same state).
struct InflatingStream {
  std::string header;
  std::string piece;
};

InflatingStream MakeInflatingStream() {
  InflatingStream out;
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK) return out;
  std::string zeros(1 << 20, '\0');
  std::string buffer(1 << 16, '\0');
  auto run = [&](int flush) {
    std::string produced;
    z.next_in = reinterpret_cast<Bytef*>(zeros.data());
    z.avail_in = static_cast<uInt>(zeros.size());
    do {
      z.next_out = reinterpret_cast<Bytef*>(buffer.data());
      z.avail_out = static_cast<uInt>(buffer.size());
      deflate(&z, flush);
      produced.append(buffer.data(), buffer.size() - z.avail_out);
    } while (z.avail_in > 0 || z.avail_out == 0);
    return produced;
  };
  const std::string first = run(Z_FULL_FLUSH);
  out.piece = run(Z_FULL_FLUSH);  // from the state a full flush leaves: the same every time
  deflateEnd(&z);
  // The first run begins with the 10-byte gzip header; its deflate data equals the piece.
  if (first.size() == out.piece.size() + 10) out.header = first.substr(0, 10);
  return out;
}

std::string Chunk(const std::string& data) {
  char size[32];
  std::snprintf(size, sizeof size, "%zx\r\n", data.size());
  return size + data + "\r\n";
}

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
  {
    std::lock_guard lock(streams_mutex_);
    for (StreamThread& s : streams_) s.thread.join();
    streams_.clear();
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
    } else if (mode_ == Mode::kNoRead) {
      Hold(fd);
    } else {
      std::lock_guard lock(streams_mutex_);
      std::erase_if(streams_, [](StreamThread& s) {
        if (!s.done->load()) return false;
        s.thread.join();
        return true;
      });
      if (streams_.size() >= kMaxStreams) {
        close(fd);
        continue;
      }
      auto done = std::make_shared<std::atomic<bool>>(false);
      streams_.push_back({std::thread([this, fd, done] {
                            Stream(fd);
                            close(fd);
                            done->store(true);
                          }),
                          done});
    }
  }
}

bool RawFaultServer::Pause(int ms) {
  pollfd wake{wake_[0], POLLIN, 0};
  return poll(&wake, 1, ms) == 0;
}

bool RawFaultServer::SendAll(int fd, const char* bytes, size_t size) {
  while (size > 0) {
    pollfd fds[2] = {{fd, POLLOUT, 0}, {wake_[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return false;
    if (fds[0].revents & (POLLERR | POLLHUP)) return false;
    const ssize_t n = send(fd, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The answers of the streaming modes, after the request head.
void RawFaultServer::Stream(int fd) {
  if (!ReadHead(fd)) return;
  switch (mode_) {
    case Mode::kEndlessBody: {
      if (!SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nConnection: close\r\n\r\n")) return;
      const std::string zeros(64 * 1024, '\0');
      while (SendAll(fd, zeros)) {
      }
      return;
    }
    case Mode::kInflating: {
      static const InflatingStream stream = MakeInflatingStream();
      if (stream.header.empty()) return;
      if (!SendAll(fd,
                   "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nTransfer-Encoding: gzip, chunked\r\n\r\n" +
                       Chunk(stream.header))) {
        return;
      }
      const std::string chunk = Chunk(stream.piece);
      while (SendAll(fd, chunk)) {
      }
      return;
    }
    case Mode::kEndlessTrailers: {
      if (!SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nTransfer-Encoding: chunked\r\n\r\n" +
                           Chunk(std::string(16, '\0')) + "0\r\n")) {
        return;
      }
      const std::string line = "X-Padding: " + std::string(1000, 'a') + "\r\n";
      std::string lines;
      for (int i = 0; i < 64; ++i) lines += line;
      while (SendAll(fd, lines)) {
      }
      return;
    }
    case Mode::kSlowBody: {
      if (!SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: 1000000\r\n\r\n")) return;
      const char byte = 0;
      while (Pause(200) && SendAll(fd, &byte, 1)) {
      }
      return;
    }
    case Mode::kReset:
    case Mode::kNoRead:
      return;
  }
}

// Reads until the end of the request head (or a limit, or a wait of kHeadWaitMs); false when
// the server stops or the client goes first.
bool RawFaultServer::ReadHead(int fd) {
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
    if (n <= 0) return false;
    head.append(buffer, static_cast<size_t>(n));
  }
  return Pause(0);
}

void RawFaultServer::Reset(int fd) {
  ReadHead(fd);
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
