#include "net/curl_request.h"

#include <mutex>

namespace vantorel {

CurlRequest::~CurlRequest() {
  End();
  if (easy_) curl_easy_cleanup(easy_);
  if (multi_) curl_multi_cleanup(multi_);
}

bool CurlRequest::Create(long connect_timeout_ms, std::string& error, bool keep_connection) {
  // libcurl's global initialisation is process-wide by its design: once, before any handle.
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  easy_ = curl_easy_init();
  multi_ = curl_multi_init();
  if (!easy_ || !multi_) {
    error = "cannot create a libcurl handle";
    return false;
  }
  curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, connect_timeout_ms);
  curl_easy_setopt(easy_, CURLOPT_FORBID_REUSE, keep_connection ? 0L : 1L);
  curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
  // A cancel during name resolution must not wait for the resolver thread to finish.
  curl_easy_setopt(easy_, CURLOPT_QUICK_EXIT, 1L);
  curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, error_text_);
  return true;
}

bool CurlRequest::Begin(CancelToken& token, std::string& error) {
  error_text_[0] = '\0';
  if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
    error = "cannot start the transfer";
    return false;
  }
  added_ = true;
  if (!token.Attach(&CurlRequest::Wake, this)) {
    error = "cancelled before the request";
    return false;
  }
  token_ = &token;
  return true;
}

void CurlRequest::End() {
  if (token_) token_->Detach(this);
  token_ = nullptr;
  if (added_) {
    // Once the handle is off the multi handle, libcurl no longer says which socket it used.
    last_socket_ = CURL_SOCKET_BAD;
    curl_easy_getinfo(easy_, CURLINFO_ACTIVESOCKET, &last_socket_);
    curl_multi_remove_handle(multi_, easy_);
  }
  added_ = false;
}

void CurlRequest::CloseConnections() {
  End();
  last_socket_ = CURL_SOCKET_BAD;
  CURLM* fresh = curl_multi_init();
  if (!fresh) return;  // keeps the old one: the next request may reuse its connection
  curl_multi_cleanup(multi_);
  multi_ = fresh;
}

void CurlRequest::Wake(void* context) { curl_multi_wakeup(static_cast<CurlRequest*>(context)->multi_); }

std::string CurlRequest::ErrorText(CURLcode rc) const { return WithDetails(curl_easy_strerror(rc)); }

std::string CurlRequest::WithDetails(std::string text) const {
  if (error_text_[0]) text += std::string(": ") + error_text_;
  return text;
}

FailureReason CurlRequest::ReasonFor(CURLcode rc, bool answer_begun) const {
  switch (rc) {
    case CURLE_OK:
      return FailureReason::kNone;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
      return FailureReason::kCannotConnect;
    case CURLE_FILESIZE_EXCEEDED:
      return FailureReason::kTooMuchData;
    case CURLE_OPERATION_TIMEDOUT: {
      // The same code for the connection's time limit and for a stall: a request that
      // never left had no connection.
      long request_bytes = 0;
      curl_easy_getinfo(easy_, CURLINFO_REQUEST_SIZE, &request_bytes);
      if (request_bytes == 0) return FailureReason::kCannotConnect;
      break;
    }
    default:
      break;
  }
  return answer_begun ? FailureReason::kConnectionLost : FailureReason::kNoAnswer;
}

bool EndsAChallenge(CURL* easy, const char* line, size_t length) {
  const bool blank = (length == 2 && line[0] == '\r' && line[1] == '\n') || (length == 1 && line[0] == '\n');
  if (!blank) return false;
  long code = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
  return code == 401;
}

}  // namespace vantorel
