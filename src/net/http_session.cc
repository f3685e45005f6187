#include "net/http_session.h"

#include <curl/curl.h>
#include <poll.h>

#include "net/curl_request.h"

namespace vantorel {

HttpSession::HttpSession() = default;
HttpSession::~HttpSession() = default;

void HttpSession::Drop() {
  if (busy_) {
    drop_when_released_ = true;
    return;
  }
  request_.reset();  // closes the cached connection with the handles
}

CurlRequest* HttpSession::Acquire(long connect_timeout_ms, std::string& error) {
  if (busy_) {
    error = "the session already carries a request";
    return nullptr;
  }
  if (!request_) {
    auto request = std::make_unique<CurlRequest>();
    if (!request->Create(connect_timeout_ms, error, /*keep_connection=*/true)) return nullptr;
    request_ = std::move(request);
  } else {
    curl_easy_setopt(request_->easy(), CURLOPT_CONNECTTIMEOUT_MS, connect_timeout_ms);
    // Bytes that came while no request was out (a still nobody asked for, a close) leave the
    // kept connection out of step: its next answer would be the stale one. A fresh one then.
    if (const curl_socket_t socket = request_->last_socket(); socket != CURL_SOCKET_BAD) {
      pollfd idle{socket, POLLIN, 0};
      if (poll(&idle, 1, 0) > 0) request_->CloseConnections();
    }
  }
  busy_ = true;
  return request_.get();
}

void HttpSession::Release(bool complete, long status) {
  busy_ = false;
  if (!request_) return;
  long made = 0;
  curl_easy_getinfo(request_->easy(), CURLINFO_NUM_CONNECTS, &made);
  connections_ += made;
  if (drop_when_released_ || status == 401 || status == 403) {
    drop_when_released_ = false;
    Drop();  // a refused sign-in is not tried again as it was
  } else if (!complete) {
    // A request that did not end cleanly may have left bytes on the connection. A complete
    // answer of any other status (a busy camera's 503) keeps the connection and sign-in.
    request_->CloseConnections();
  }
}

}  // namespace vantorel
