#pragma once
// A bare TCP server on 127.0.0.1 for one connection: it records every byte the client sends,
// exactly as it arrives, and can answer, close or stop reading at a chosen point. No HTTP
// library sits in between, so the tests see the request as the camera would.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>
#include <string>
#include <thread>

#include "support/loopback.h"

namespace vantorel {

class RawLoopbackServer {
 public:
  struct Script {
    static Script AnswerAfter(size_t bytes, std::string answer) {
      Script s;
      s.answer_after = bytes;
      s.answer = std::move(answer);
      return s;
    }
    static Script CloseAfter(size_t bytes) {
      Script s;
      s.close_after = bytes;
      return s;
    }
    static Script StopReadingAfter(size_t bytes) {
      Script s;
      s.stop_reading_after = bytes;
      return s;
    }

    // Once this many bytes have come, `answer` is sent (when not empty).
    size_t answer_after = std::numeric_limits<size_t>::max();
    std::string answer;
    // Once this many bytes have come, the connection is closed.
    size_t close_after = std::numeric_limits<size_t>::max();
    // Once this many bytes have come, nothing more is read (the client's sends then block).
    size_t stop_reading_after = std::numeric_limits<size_t>::max();
  };

  RawLoopbackServer() : RawLoopbackServer(Script()) {}
  explicit RawLoopbackServer(Script script) : script_(std::move(script)) {
    // A small window, so that a server that stops reading bites soon.
    listen_fd_ = test::ListenOnLoopback(4, &port_, 16 * 1024);
    if (pipe(stop_pipe_) != 0) stop_pipe_[0] = stop_pipe_[1] = -1;
    thread_ = std::thread([this] { Serve(); });
  }

  ~RawLoopbackServer() {
    const char c = 0;
    [[maybe_unused]] const ssize_t n = write(stop_pipe_[1], &c, 1);
    thread_.join();
    close(listen_fd_);
    close(stop_pipe_[0]);
    close(stop_pipe_[1]);
  }

  RawLoopbackServer(const RawLoopbackServer&) = delete;
  RawLoopbackServer& operator=(const RawLoopbackServer&) = delete;

  int port() const { return port_; }
  std::string Url(const std::string& path_and_more) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path_and_more;
  }

  std::string Received() const {
    std::lock_guard lock(mutex_);
    return received_;
  }
  // Waits until the client has closed its end (or the server closed it), at most `timeout`.
  bool WaitForClose(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return closed_; });
  }
  bool WaitForBytes(size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
  }

 private:
  // Waits for `fd` to be readable or the stop pipe; false on stop.
  bool WaitReadable(int fd) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    while (poll(fds, 2, -1) < 0) {
    }
    return (fds[1].revents & POLLIN) == 0;
  }

  void Serve() {
    if (!WaitReadable(listen_fd_)) return;
    const int fd = accept(listen_fd_, nullptr, nullptr);
    if (fd < 0) return;
    bool answered = false;
    char buffer[4096];
    for (;;) {
      size_t have;
      {
        std::lock_guard lock(mutex_);
        have = received_.size();
      }
      if (!answered && !script_.answer.empty() && have >= script_.answer_after) {
        answered = true;
        [[maybe_unused]] const ssize_t n = send(fd, script_.answer.data(), script_.answer.size(), MSG_NOSIGNAL);
      }
      if (have >= script_.close_after) break;
      if (have >= script_.stop_reading_after) {
        WaitReadable(stop_pipe_[0]);  // until the test ends
        break;
      }
      if (!WaitReadable(fd)) break;
      const size_t want = std::min(sizeof buffer, std::min(script_.close_after, script_.stop_reading_after) - have);
      const ssize_t n = recv(fd, buffer, want, 0);
      if (n <= 0) break;
      {
        std::lock_guard lock(mutex_);
        received_.append(buffer, static_cast<size_t>(n));
      }
      changed_.notify_all();
    }
    close(fd);
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    changed_.notify_all();
  }

  const Script script_;
  int listen_fd_ = -1;
  int port_ = 0;
  int stop_pipe_[2] = {-1, -1};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string received_;
  bool closed_ = false;
};

}  // namespace vantorel
