#pragma once
// A plain HTTP GET on libcurl whose body is pulled piece by piece.
//
// An HttpGet is one request. On its own it uses a fresh handle and a fresh connection; made
// on an HttpSession (http_session.h) it reuses the session's connection and sign-in. The
// transfer moves only while Read() runs (on the reading thread); at most about
// kHttpBufferLimit bytes wait in memory, beyond that the transfer is paused until the reader
// catches up. Another thread can end it at any time through a CancelToken: a Read() blocked
// on the network then returns 0 within 100 ms.
//
// Fixed behaviour, the same for every caller:
// - no proxy, whatever the proxy environment variables say; nothing is cached;
// - only http:// and https:// (also for redirects, which are followed); any other scheme
//   fails like an unreachable server, so a URL can never read local files;
// - user name and password in the URL (percent-decoded) are sent only when the server asks,
//   as it asks (Basic, or Digest with MD5, MD5-sess or SHA-256), and never to another host;
//   a URL without them sends no Authorization;
// - the body is taken as the server sends it: no content decoding (a compressed body stays
//   compressed), only the chunk framing is removed;
// - the connection must be made within 5 s, and the transfer fails when no byte arrives
//   for stall_seconds (10 s unless asked; before the first byte, at least the connection's
//   5 s): a stalled server;
// - the bounds of HttpGetLimits: header and trailer bytes always, body bytes and the whole
//   request's time when asked (a still's limits, for instance);
// - the status code does not end the transfer: an error page is a body like any other, and
//   Outcome() says that it was no success.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "runtime/cancel_token.h"
#include "runtime/failure.h"

namespace vantorel {

class HttpSession;
class SignInMemory;

// Body bytes held in memory before the transfer is paused (plus at most one network read).
inline constexpr size_t kHttpBufferLimit = 64 * 1024;

struct HttpGetLimits {
  long connect_timeout_ms = 5000;  // TCP (and TLS) connection set-up
  long stall_seconds = 10;         // give up when no byte has come for this long
  int64_t max_body_bytes = 0;      // the body as delivered; 0: unbounded (an endless stream)
  size_t max_header_bytes = 64 * 1024;  // header and trailer lines of all answers together
  long max_duration_ms = 0;        // the whole request, connection included; 0: unbounded
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
  // A request on `session`'s connection; the session must outlive this object, and carries
  // one request at a time. When this request does not end complete, the session closes its
  // connection; after a 401 or 403 it also forgets the sign-in.
  explicit HttpGet(HttpSession& session, std::shared_ptr<CancelToken> cancel = nullptr);
  ~HttpGet();
  HttpGet(const HttpGet&) = delete;
  HttpGet& operator=(const HttpGet&) = delete;

  // Cameras that have taken a Digest sign-in get no Basic one from this request (see
  // sign_in_memory.h), and a Digest sign-in it makes is noted there. Before Open().
  void RememberSignIns(SignInMemory* memory) { memory_ = memory; }

  // Starts a GET of `url` sending `user_agent`. Returns false (state kIdle or kCancelled,
  // Error() set) when the request cannot be set up or the token is already cancelled.
  // Connection failures show up in the first Read(). Call once per object.
  bool Open(const std::string& url, const std::string& user_agent, const HttpGetLimits& limits = {});

  // Reading thread. Blocks until body bytes are available and copies up to `max` of them
  // into `buf`; returns how many. Returns 0 when the body has ended, the transfer failed or
  // was cancelled: state() tells which. Bytes received before a failure are still returned
  // first.
  size_t Read(void* buf, size_t max);
  // Reading thread. As Read(), but never waits for the network: 0 also when no byte is ready
  // at once (state() still kOpen).
  size_t ReadReady(void* buf, size_t max);

  // Reading thread, after the first Read(): the answer is an endless stream after all (its
  // Content-Type says so). From here on the body and time bounds of the limits no longer
  // apply (the reader bounds what it keeps), and the transfer fails when no byte has come
  // for `stall`.
  void ContinueAsStream(std::chrono::milliseconds stall);

  // Any thread, while this object exists: cancels its token. A stopper that might race the
  // reader's teardown must keep and cancel the shared token instead.
  void Cancel() { cancel_->Cancel(); }

  State state() const { return state_; }
  // One line for LogFailure when the state is kFailed or kCancelled (or Open() failed). It
  // never holds the URL's password.
  const std::string& Error() const { return error_; }
  // The last HTTP status code received, 0 before any (informational only).
  long ResponseCode() const;
  // The answer's Content-Type header value, once the first Read() has returned (empty when
  // it had none).
  std::string ContentType() const;
  // The sign-in schemes the camera's challenge offered: "Digest", "Basic", "Digest, Basic";
  // empty when it did not challenge.
  std::string SignInOffered() const;
  // Body bytes waiting in memory (for tests of the buffer bound).
  size_t Buffered() const;

  // What the request came to: kErrorStatus (with the status) when the camera answered with
  // another status than 2xx, else the transfer's failure (kNone while the body is still
  // being read or after it ended complete; kStopped after a cancel).
  Failure Outcome() const;

 private:
  struct Transfer;
  void Finish(State state, std::string error, FailureReason reason = FailureReason::kNone);
  void TakeResult();
  bool Resume();
  size_t ReadSome(void* buf, size_t max, bool wait);
  // When the transfer counts as stalled if nothing more comes.
  std::chrono::steady_clock::time_point StallAt() const;

  const std::shared_ptr<CancelToken> cancel_;
  HttpSession* const session_ = nullptr;
  SignInMemory* memory_ = nullptr;
  std::string camera_;         // CameraKey of the URL, when it carries credentials
  bool digest_only_ = false;   // Basic is refused to this camera
  std::unique_ptr<Transfer> transfer_;
  State state_ = State::kIdle;
  std::string error_;
  FailureReason transport_ = FailureReason::kNone;  // why the transfer failed
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
  std::chrono::milliseconds stall_{0};          // see HttpGetLimits::stall_seconds
  std::chrono::milliseconds first_byte_wait_{0};  // the stall before the first byte
};

}  // namespace vantorel
