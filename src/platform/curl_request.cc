#include "platform/curl_request.h"

#include <mutex>

namespace vantorel {

CurlRequest::~CurlRequest() {
  if (token_) token_->Detach(this);
  if (multi_ && easy_) curl_multi_remove_handle(multi_, easy_);
  if (easy_) curl_easy_cleanup(easy_);
  if (multi_) curl_multi_cleanup(multi_);
}

bool CurlRequest::Create(long connect_timeout_ms, std::string& error) {
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
  curl_easy_setopt(easy_, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
  // A cancel during name resolution must not wait for the resolver thread to finish.
  curl_easy_setopt(easy_, CURLOPT_QUICK_EXIT, 1L);
  curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, error_text_);
  return true;
}

bool CurlRequest::Begin(CancelToken& token, std::string& error) {
  if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
    error = "cannot start the transfer";
    return false;
  }
  if (!token.Attach(&CurlRequest::Wake, this)) {
    error = "cancelled before the request";
    return false;
  }
  token_ = &token;
  return true;
}

void CurlRequest::Wake(void* context) { curl_multi_wakeup(static_cast<CurlRequest*>(context)->multi_); }

std::string CurlRequest::ErrorText(CURLcode rc) const { return WithDetails(curl_easy_strerror(rc)); }

std::string CurlRequest::WithDetails(std::string text) const {
  if (error_text_[0]) text += std::string(": ") + error_text_;
  return text;
}

}  // namespace vantorel
