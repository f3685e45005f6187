#pragma once
// A connection to the camera kept for successive requests (HTTP keep-alive), with the
// sign-in it has made: the picture worker's stills, one after another.
//
// Usage, on one thread:
//
//   HttpSession session;
//   for (;;) {
//     HttpGet get(session, cancel);           // one still on the kept connection
//     if (!get.Open(url, agent, kStillLimits)) ...
//     ... Read() to the end ...
//     if (the caller gives up) session.Drop(); // a failure of the caller's own
//   }
//
// The first request connects and, when the camera asks, signs in (one challenge); the next
// ones reuse the connection and send the sign-in at once (Digest: the same nonce with the
// next count, until the camera calls it stale). An HttpGet that does not end complete
// closes the connection itself, so the next request connects afresh; the sign-in is kept
// for it, unless the camera refused it (401, 403). A complete answer of another status (a
// busy camera's 503) costs neither the connection nor the sign-in.

#include <memory>
#include <string>

namespace vantorel {

class CurlRequest;

class HttpSession {
 public:
  HttpSession();
  ~HttpSession();
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  // Closes the kept connection and forgets the sign-in: the next request connects and signs
  // in afresh. While a request is under way on this session, the drop happens when it ends.
  void Drop();

  // Connections made over the session's life (for tests and benchmarks).
  long connections() const { return connections_; }

 private:
  friend class HttpGet;
  // The handle for the next request, created when there is none; null with `error` set
  // when libcurl cannot. Marks the session busy until Release().
  CurlRequest* Acquire(long connect_timeout_ms, std::string& error);
  // The request has ended with `status` (0: none); `complete` when its body was read whole.
  void Release(bool complete, long status);

  std::unique_ptr<CurlRequest> request_;
  bool busy_ = false;
  bool drop_when_released_ = false;
  long connections_ = 0;
};

}  // namespace vantorel
