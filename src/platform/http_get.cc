#include "platform/http_get.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/curl_request.h"

namespace vantorel {

namespace {

// A blocked Read() wakes at least this often even without network activity or a cancel
// (libcurl shortens the wait further for its own timers).
constexpr int kPollMilliseconds = 1000;

}  // namespace

// One request: the easy handle on its own multi handle, and the body bytes not yet read.
struct HttpGet::Transfer {
  CurlRequest request;  // the HttpGet keeps the token it attaches alive
  std::vector<char> buffer;
  size_t head = 0;  // buffer[head..] is not yet read
  bool paused = false;

  size_t Available() const { return buffer.size() - head; }

  static size_t OnBody(char* data, size_t, size_t count, void* context) {
    auto& t = *static_cast<Transfer*>(context);
    if (t.Available() >= kHttpBufferLimit) {
      // libcurl keeps these bytes and offers them again after curl_easy_pause(CONT).
      t.paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (t.head > 0 && t.head >= t.buffer.size() / 2) {
      t.buffer.erase(t.buffer.begin(), t.buffer.begin() + static_cast<std::ptrdiff_t>(t.head));
      t.head = 0;
    }
    t.buffer.insert(t.buffer.end(), data, data + count);
    return count;
  }
};

HttpGet::HttpGet(std::shared_ptr<CancelToken> cancel)
    : cancel_(cancel ? std::move(cancel) : CancelToken::Create()) {}

HttpGet::~HttpGet() = default;

bool HttpGet::Open(const std::string& url, const std::string& user_agent, const HttpGetLimits& limits) {
  if (transfer_ || state_ != State::kIdle) {
    error_ = "this request was already opened";
    return false;
  }
  auto t = std::make_unique<Transfer>();
  if (!t->request.Create(limits.connect_timeout_ms, error_)) return false;
  CURL* e = t->request.easy();
  // The settings that keep a URL from reaching anything but a plain web server are checked;
  // an older libcurl that refuses one of them refuses the request.
  const bool safe = curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
                    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK &&
                    curl_easy_setopt(e, CURLOPT_PROXY, "") == CURLE_OK &&
                    curl_easy_setopt(e, CURLOPT_URL, url.c_str()) == CURLE_OK;
  if (!safe) {
    error_ = "libcurl refused the request settings";
    return false;
  }
  curl_easy_setopt(e, CURLOPT_USERAGENT, user_agent.c_str());
  curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, limits.stall_seconds);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
  if (!t->request.Begin(*cancel_, error_)) {
    if (cancel_->Cancelled()) state_ = State::kCancelled;
    return false;
  }
  transfer_ = std::move(t);
  state_ = State::kOpen;
  return true;
}

void HttpGet::Finish(State state, std::string error) {
  state_ = state;
  error_ = std::move(error);
}

void HttpGet::TakeResult() {
  int left = 0;
  while (CURLMsg* m = curl_multi_info_read(transfer_->request.multi(), &left)) {
    if (m->msg != CURLMSG_DONE) continue;
    const CURLcode rc = m->data.result;
    if (rc == CURLE_OK) {
      Finish(State::kComplete, {});
    } else {
      Finish(State::kFailed, transfer_->request.ErrorText(rc));
    }
  }
}

bool HttpGet::Resume() {
  transfer_->paused = false;
  // May deliver the held bytes at once, through OnBody.
  const CURLcode rc = curl_easy_pause(transfer_->request.easy(), CURLPAUSE_CONT);
  if (rc == CURLE_OK) return true;
  Finish(State::kFailed, curl_easy_strerror(rc));
  return false;
}

size_t HttpGet::Read(void* buf, size_t max) {
  if (!transfer_ || max == 0) return 0;
  Transfer& t = *transfer_;
  for (;;) {
    // A cancel wins over bytes already waiting: a slow reader must not drain 64 KiB first.
    if (state_ == State::kOpen && cancel_->Cancelled()) {
      Finish(State::kCancelled, "transfer cancelled");
      t.buffer.clear();
      t.head = 0;
    }
    if (t.Available() > 0) {
      const size_t n = std::min(max, t.Available());
      std::memcpy(buf, t.buffer.data() + t.head, n);
      t.head += n;
      if (t.head == t.buffer.size()) {
        t.buffer.clear();
        t.head = 0;
      }
      if (t.paused && state_ == State::kOpen && t.Available() <= kHttpBufferLimit / 2) Resume();
      return n;
    }
    if (state_ != State::kOpen) return 0;
    if (t.paused && !Resume()) continue;
    int running = 0;
    const CURLMcode mc = curl_multi_perform(t.request.multi(), &running);
    if (mc != CURLM_OK) {
      Finish(State::kFailed, curl_multi_strerror(mc));
      continue;
    }
    TakeResult();
    if (t.Available() > 0 || state_ != State::kOpen) continue;
    // Returns on socket activity, a timer, or curl_multi_wakeup from a Cancel().
    const CURLMcode pc = t.request.Poll(kPollMilliseconds);
    if (pc != CURLM_OK) Finish(State::kFailed, curl_multi_strerror(pc));
  }
}

long HttpGet::ResponseCode() const {
  long code = 0;
  if (transfer_) curl_easy_getinfo(transfer_->request.easy(), CURLINFO_RESPONSE_CODE, &code);
  return code;
}

size_t HttpGet::Buffered() const { return transfer_ ? transfer_->Available() : 0; }

}  // namespace vantorel
