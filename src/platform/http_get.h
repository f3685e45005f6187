#pragma once
// A plain HTTP GET on libcurl whose body is pulled piece by piece.
//
// Every HttpGet is one request on a fresh handle and a fresh connection. The transfer moves
// only while Read() runs (on the reading thread); at most about kHttpBufferLimit bytes wait
// in memory, beyond that the transfer is paused until the reader catches up. Another thread
// can end it at any time through a CancelToken: a Read() blocked on the network then returns
// 0 within 100 ms.
//
// Fixed behaviour, the same for every caller:
// - no proxy, whatever the proxy environment variables say; nothing is cached;
// - only http:// and https:// (also for redirects, which are followed); any other scheme
//   fails like an unreachable server, so a URL can never read local files;
// - user name and password in the URL are sent as the server asks (Basic or Digest);
// - the connection must be made within 5 s, and the transfer fails when less than one
//   byte per second arrives over 10 s (a stalled server);
// - the status code is not examined: an error page is a body like any other.

#include <cstddef>
#include <memory>
#include <string>

#include "platform/cancel_token.h"

namespace vantorel {

// Body bytes held in memory before the transfer is paused (plus at most one network read).
inline constexpr size_t kHttpBufferLimit = 64 * 1024;

struct HttpGetLimits {
  long connect_timeout_ms = 5000;  // TCP (and TLS) connection set-up
  long stall_seconds = 10;         // give up when under 1 byte/s for this long
};

class HttpGet {
 public:
  enum class State {
    kIdle,       // not opened, or Open() failed
    kOpen,       // the body is being read
    kComplete,   // the whole body has been read
    kFailed,     // the transfer failed; Error() says why
    kCancelled,  // ended by Cancel() or the token
  };

  // `cancel` may be null (the object then makes its own token); when given, cancelling it
  // ends this object's transfer, from any thread, at any time.
  explicit HttpGet(std::shared_ptr<CancelToken> cancel = nullptr);
  ~HttpGet();
  HttpGet(const HttpGet&) = delete;
  HttpGet& operator=(const HttpGet&) = delete;

  // Starts a GET of `url` sending `user_agent`. Returns false (state kIdle or kCancelled,
  // Error() set) when the request cannot be set up or the token is already cancelled.
  // Connection failures show up in the first Read(). Call once per object.
  bool Open(const std::string& url, const std::string& user_agent, const HttpGetLimits& limits = {});

  // Reading thread. Blocks until body bytes are available and copies up to `max` of them
  // into `buf`; returns how many. Returns 0 when the body has ended, the transfer failed or
  // was cancelled: state() tells which. Bytes received before a failure are still returned
  // first.
  size_t Read(void* buf, size_t max);

  // Any thread, while this object exists: cancels its token. A stopper that might race the
  // reader's teardown must keep and cancel the shared token instead.
  void Cancel() { cancel_->Cancel(); }

  State state() const { return state_; }
  // One line for LogFailure when the state is kFailed or kCancelled (or Open() failed).
  const std::string& Error() const { return error_; }
  // The last HTTP status code received, 0 before any (informational only).
  long ResponseCode() const;
  // Body bytes waiting in memory (for tests of the buffer bound).
  size_t Buffered() const;

 private:
  struct Transfer;
  void Finish(State state, std::string error);
  void TakeResult();
  bool Resume();

  const std::shared_ptr<CancelToken> cancel_;
  std::unique_ptr<Transfer> transfer_;
  State state_ = State::kIdle;
  std::string error_;
};

}  // namespace vantorel
