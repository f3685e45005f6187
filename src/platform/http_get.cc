#include "platform/http_get.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace vantorel {

namespace {

// A blocked Read() wakes at least this often even without network activity or a cancel
// (libcurl shortens the wait further for its own timers).
constexpr int kPollMilliseconds = 1000;

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

// One request: the easy handle on its own multi handle, and the body bytes not yet read.
struct HttpGet::Transfer {
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
  CancelToken* token = nullptr;  // set while attached; the HttpGet keeps the token alive
  std::vector<char> buffer;
  size_t head = 0;  // buffer[head..] is not yet read
  bool paused = false;
  char error_text[CURL_ERROR_SIZE] = {};

  Transfer() = default;
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
  ~Transfer() {
    // Detach first: after this no Cancel() touches the multi handle being cleaned up.
    if (token) token->Detach(this);
    if (multi && easy) curl_multi_remove_handle(multi, easy);
    if (easy) curl_easy_cleanup(easy);
    if (multi) curl_multi_cleanup(multi);
  }

  size_t Available() const { return buffer.size() - head; }

  static void Wake(void* context) { curl_multi_wakeup(static_cast<Transfer*>(context)->multi); }

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
  InitCurlOnce();
  auto t = std::make_unique<Transfer>();
  t->easy = curl_easy_init();
  t->multi = curl_multi_init();
  if (!t->easy || !t->multi) {
    error_ = "cannot create a libcurl handle";
    return false;
  }
  CURL* e = t->easy;
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
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, limits.connect_timeout_ms);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, limits.stall_seconds);
  curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  // A cancel during name resolution must not wait for the resolver thread to finish.
  curl_easy_setopt(e, CURLOPT_QUICK_EXIT, 1L);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->error_text);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
  if (curl_multi_add_handle(t->multi, e) != CURLM_OK) {
    error_ = "cannot start the transfer";
    return false;
  }
  if (!cancel_->Attach(&Transfer::Wake, t.get())) {
    state_ = State::kCancelled;
    error_ = "cancelled before the request";
    return false;
  }
  t->token = cancel_.get();
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
  while (CURLMsg* m = curl_multi_info_read(transfer_->multi, &left)) {
    if (m->msg != CURLMSG_DONE) continue;
    const CURLcode rc = m->data.result;
    if (rc == CURLE_OK) {
      Finish(State::kComplete, {});
    } else {
      std::string text = curl_easy_strerror(rc);
      if (transfer_->error_text[0]) text += std::string(": ") + transfer_->error_text;
      Finish(State::kFailed, std::move(text));
    }
  }
}

bool HttpGet::Resume() {
  transfer_->paused = false;
  // May deliver the held bytes at once, through OnBody.
  const CURLcode rc = curl_easy_pause(transfer_->easy, CURLPAUSE_CONT);
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
    const CURLMcode mc = curl_multi_perform(t.multi, &running);
    if (mc != CURLM_OK) {
      Finish(State::kFailed, curl_multi_strerror(mc));
      continue;
    }
    TakeResult();
    if (t.Available() > 0 || state_ != State::kOpen) continue;
    // Returns on socket activity, a timer, or curl_multi_wakeup from a Cancel().
    const CURLMcode pc = curl_multi_poll(t.multi, nullptr, 0, kPollMilliseconds, nullptr);
    if (pc != CURLM_OK) Finish(State::kFailed, curl_multi_strerror(pc));
  }
}

long HttpGet::ResponseCode() const {
  long code = 0;
  if (transfer_) curl_easy_getinfo(transfer_->easy, CURLINFO_RESPONSE_CODE, &code);
  return code;
}

size_t HttpGet::Buffered() const { return transfer_ ? transfer_->Available() : 0; }

}  // namespace vantorel
