#pragma once
// The misbehaviours that live below HTTP, or that an HTTP library would not let a server
// commit, served on a plain socket instead of httplib:
//   reset             reads the request head, then aborts the connection (a TCP reset)
//   no-read           accepts every connection and never reads from it nor answers (the
//                     client's request sits in the socket buffers; an upload fills them)
//   endless-body      200 without a length, then zero bytes for ever
//   inflating         200 with "Transfer-Encoding: gzip, chunked": a gzip stream of zeros
//                     without end, about 1 MiB of zeros per kilobyte on the wire
//   endless-trailers  a chunked 200 with a short body, then trailer lines for ever
//   slow-body         200 announcing 1 MB, then one byte every 200 ms
// Every path on the port behaves the same. The streaming modes go on until the client
// closes its end or the server stops. Bound to 127.0.0.1 only.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vantorel::camsim {

class RawFaultServer {
 public:
  enum class Mode { kReset, kNoRead, kEndlessBody, kInflating, kEndlessTrailers, kSlowBody };

  // `on_connection` runs on the server's thread for each accepted connection.
  RawFaultServer(Mode mode, std::function<void()> on_connection);
  ~RawFaultServer();
  RawFaultServer(const RawFaultServer&) = delete;
  RawFaultServer& operator=(const RawFaultServer&) = delete;

  // Binds 127.0.0.1:`port` (0: any free port) and serves on a thread. The port, or -1.
  int Start(int port);
  // Closes every connection and the listening socket and joins the threads. Idempotent.
  void Stop();

 private:
  void Serve();
  bool ReadHead(int fd);
  void Reset(int fd);
  void Hold(int fd);
  void Stream(int fd);
  // Sends all of `bytes` unless the client goes or the server stops.
  bool SendAll(int fd, const char* bytes, size_t size);
  bool SendAll(int fd, const std::string& bytes) { return SendAll(fd, bytes.data(), bytes.size()); }
  // Sleeps `ms` unless the server stops; false when it stops.
  bool Pause(int ms);

  const Mode mode_;
  const std::function<void()> on_connection_;
  int listen_fd_ = -1;
  int wake_[2] = {-1, -1};  // a pipe: Stop() writes, everything waiting returns
  std::thread thread_;
  std::vector<int> held_;  // no-read connections, oldest first; only the server's thread
  std::mutex streams_mutex_;
  struct StreamThread {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<StreamThread> streams_;  // one per streaming connection; ended ones are joined
                                       // when the next comes
};

}  // namespace vantorel::camsim
