#pragma once
// What HttpGet and HttpPost share: one libcurl easy handle on a multi handle of its own,
// driven on the caller's thread, with a CancelToken that wakes a blocked poll from any
// thread. Owns both handles; destroying it detaches the token first, so that no cancel
// touches a handle being cleaned up.
//
// One request at a time runs on it (Begin ... End); an HttpSession keeps it between
// requests, so that the multi handle's connection cache and the easy handle's sign-in state
// serve the next request.

#include <curl/curl.h>

#include <string>

#include "runtime/cancel_token.h"
#include "runtime/failure.h"

namespace vantorel {

// Challenges (401 answers) one request takes before it gives up: a camera that calls every
// signed answer stale, with a new nonce, would otherwise be asked again and again.
inline constexpr int kMaxChallenges = 3;

// True for the empty line that ends an answer's head whose status is 401 (`line` as a header
// callback gets it).
bool EndsAChallenge(CURL* easy, const char* line, size_t length);

class CurlRequest {
 public:
  CurlRequest() = default;
  ~CurlRequest();
  CurlRequest(const CurlRequest&) = delete;
  CurlRequest& operator=(const CurlRequest&) = delete;

  // Initialises libcurl once per process, creates the handles and sets the options every
  // request of ours takes: a connection made within `connect_timeout_ms`, never reused
  // (unless `keep_connection`), no signals, no wait for the resolver thread on a cancel, and
  // failure details kept for ErrorText(). False with `error` set when libcurl cannot.
  bool Create(long connect_timeout_ms, std::string& error, bool keep_connection = false);

  // Adds the easy handle to the multi handle and attaches `token`, which must outlive this
  // object (or the End() of this request). False with `error` set; the token is then
  // cancelled, or libcurl refused.
  bool Begin(CancelToken& token, std::string& error);
  // Detaches the token and takes the easy handle off the multi handle; a finished
  // transfer's connection stays in the multi handle's cache. Idempotent.
  void End();
  // Closes the connections the multi handle keeps for reuse (between requests only); the
  // easy handle keeps its settings and sign-in state.
  void CloseConnections();

  // Waits up to `milliseconds` for socket activity, a libcurl timer or a cancel.
  CURLMcode Poll(int milliseconds) { return curl_multi_poll(multi_, nullptr, 0, milliseconds, nullptr); }

  // libcurl's text for `rc`, with the details of its error buffer when there are any.
  std::string ErrorText(CURLcode rc) const;
  // The details alone appended to `text` (": details"), when there are any.
  std::string WithDetails(std::string text) const;
  // What a failed transfer's `rc` means: no connection, no answer, or a connection lost
  // after the answer had begun (`answer_begun`).
  FailureReason ReasonFor(CURLcode rc, bool answer_begun) const;

  // The socket of the last request, kept for the next one (CURL_SOCKET_BAD: none known).
  curl_socket_t last_socket() const { return last_socket_; }

  CURL* easy() const { return easy_; }
  CURLM* multi() const { return multi_; }

 private:
  static void Wake(void* context);

  CURL* easy_ = nullptr;
  CURLM* multi_ = nullptr;
  bool added_ = false;
  CancelToken* token_ = nullptr;  // set while attached
  curl_socket_t last_socket_ = CURL_SOCKET_BAD;
  char error_text_[CURL_ERROR_SIZE] = {};
};

}  // namespace vantorel
