#pragma once
// The two misbehaviours that live below HTTP, served on a plain socket instead of httplib:
//   reset    reads the request head, then aborts the connection (the client sees a TCP reset)
//   no-read  accepts every connection and never reads from it nor answers (the client's
//            request sits in the socket buffers; an upload fills them and blocks)
// Every path on the port behaves the same. Bound to 127.0.0.1 only.

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace vantorel::camsim {

class RawFaultServer {
 public:
  enum class Mode { kReset, kNoRead };

  // `on_connection` runs on the server's thread for each accepted connection.
  RawFaultServer(Mode mode, std::function<void()> on_connection);
  ~RawFaultServer();
  RawFaultServer(const RawFaultServer&) = delete;
  RawFaultServer& operator=(const RawFaultServer&) = delete;

  // Binds 127.0.0.1:`port` (0: any free port) and serves on a thread. The port, or -1.
  int Start(int port);
  // Closes every connection and the listening socket and joins the thread. Idempotent.
  void Stop();

 private:
  void Serve();
  void Reset(int fd);
  void Hold(int fd);

  const Mode mode_;
  const std::function<void()> on_connection_;
  int listen_fd_ = -1;
  int wake_[2] = {-1, -1};  // a pipe: Stop() writes, Serve() returns
  std::thread thread_;
  std::vector<int> held_;  // no-read connections, oldest first; only the server's thread
};

}  // namespace vantorel::camsim
