#include "net/http_get.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "net/curl_request.h"
#include "net/http_session.h"
#include "net/sign_in_memory.h"
#include "net/url.h"

namespace vantorel {

namespace {

using Clock = std::chrono::steady_clock;

// A blocked Read() wakes at least this often even without network activity or a cancel
// (libcurl shortens the wait further for its own timers).
constexpr int kPollMilliseconds = 1000;

}  // namespace

// One request: the easy handle on its multi handle (its own, or the session's), the body
// bytes not yet read, and what the bounds have counted.
struct HttpGet::Transfer {
  std::unique_ptr<CurlRequest> owned;  // without a session
  CurlRequest* request = nullptr;      // owned, or the session's
  std::string user, password;          // kept while libcurl may read them
  std::vector<char> buffer;
  size_t head = 0;  // buffer[head..] is not yet read
  bool paused = false;
  int64_t body_bytes = 0;
  int64_t max_body = 0;
  size_t header_bytes = 0;
  size_t max_headers = 0;
  int challenges = 0;  // 401 answers so far
  const char* over = nullptr;  // the bound that ended the transfer
  // When the last byte (header or body) came; the stall clock. libcurl's own low-speed
  // check averages over several seconds and fired only after 6 to 9 s of a 3 s rule.
  Clock::time_point last_byte = Clock::now();
  bool any_byte = false;

  ~Transfer() {
    if (!owned && request) request->End();
  }

  size_t Available() const { return buffer.size() - head; }
  void Heard() {
    last_byte = Clock::now();
    any_byte = true;
  }

  static size_t OnBody(char* data, size_t, size_t count, void* context) {
    auto& t = *static_cast<Transfer*>(context);
    if (t.Available() >= kHttpBufferLimit) {
      // libcurl keeps these bytes and offers them again after curl_easy_pause(CONT).
      t.paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (t.max_body > 0 && static_cast<int64_t>(count) > t.max_body - t.body_bytes) {
      t.over = "the camera sent too much: a body over its bound";
      return 0;  // ends the transfer with a write error
    }
    t.body_bytes += static_cast<int64_t>(count);
    t.Heard();
    if (t.head > 0 && t.head >= t.buffer.size() / 2) {
      t.buffer.erase(t.buffer.begin(), t.buffer.begin() + static_cast<std::ptrdiff_t>(t.head));
      t.head = 0;
    }
    t.buffer.insert(t.buffer.end(), data, data + count);
    return count;
  }

  // Every header line of every answer (challenges and redirects included) and every
  // trailer line: libcurl keeps them all until the transfer ends, so they are bounded here.
  static size_t OnHeader(char* data, size_t, size_t count, void* context) {
    auto& t = *static_cast<Transfer*>(context);
    if (count > t.max_headers - t.header_bytes) {
      t.over = "the camera sent too much: header and trailer lines over their bound";
      return 0;
    }
    t.header_bytes += count;
    t.Heard();
    // The last challenge allowed ends the request: its 401 is the answer.
    if (EndsAChallenge(t.request->easy(), data, count) && ++t.challenges >= kMaxChallenges) return 0;
    return count;
  }
};

HttpGet::HttpGet(std::shared_ptr<CancelToken> cancel)
    : cancel_(cancel ? std::move(cancel) : CancelToken::Create()) {}

HttpGet::HttpGet(HttpSession& session, std::shared_ptr<CancelToken> cancel)
    : cancel_(cancel ? std::move(cancel) : CancelToken::Create()), session_(&session) {}

HttpGet::~HttpGet() {
  const bool borrowed = transfer_ && !transfer_->owned;
  const long status = ResponseCode();
  if (memory_ && !camera_.empty() && status != 0 && status != 401 && status != 403) {
    // Signed in, as the challenge asked: Digest whenever it was offered (libcurl prefers it).
    long offered = 0;
    curl_easy_getinfo(transfer_->request->easy(), CURLINFO_HTTPAUTH_AVAIL, &offered);
    if (offered & CURLAUTH_DIGEST) memory_->NoteDigest(camera_);
  }
  transfer_.reset();  // the request ends before the session decides about its connection
  if (borrowed) session_->Release(state_ == State::kComplete, status);
}

bool HttpGet::Open(const std::string& url, const std::string& user_agent, const HttpGetLimits& limits) {
  if (transfer_ || state_ != State::kIdle) {
    error_ = "this request was already opened";
    return false;
  }
  transport_ = FailureReason::kCannotConnect;  // until the request is under way
  auto t = std::make_unique<Transfer>();
  std::string target;
  UrlCredentials credentials;
  if (!SplitCredentials(url, target, credentials, error_)) return false;
  // What fails from here on is this computer's doing, until the request is under way.
  transport_ = FailureReason::kLocalFailure;
  if (session_) {
    t->request = session_->Acquire(limits.connect_timeout_ms, error_);
    if (!t->request) return false;
    transfer_ = std::move(t);  // from here the session is released with the transfer
  } else {
    t->owned = std::make_unique<CurlRequest>();
    t->request = t->owned.get();
    if (!t->request->Create(limits.connect_timeout_ms, error_)) return false;
    transfer_ = std::move(t);
  }
  Transfer& tr = *transfer_;
  tr.max_body = limits.max_body_bytes;
  tr.max_headers = limits.max_header_bytes;
  tr.user = credentials.user;
  tr.password = credentials.password;
  CURL* e = tr.request->easy();
  // The settings that keep a URL from reaching anything but a plain web server are checked;
  // an older libcurl that refuses one of them refuses the request.
  const bool safe = curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
                    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK &&
                    curl_easy_setopt(e, CURLOPT_PROXY, "") == CURLE_OK &&
                    curl_easy_setopt(e, CURLOPT_URL, target.c_str()) == CURLE_OK &&
                    curl_easy_setopt(e, CURLOPT_HTTP_CONTENT_DECODING, 0L) == CURLE_OK &&
                    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE,
                                     static_cast<curl_off_t>(std::max<int64_t>(limits.max_body_bytes, 0))) == CURLE_OK;
  if (!safe) {
    error_ = "libcurl refused the request settings";
    return false;
  }
  if (credentials.present) {
    // Several methods: libcurl sends nothing until the server's challenge says which. A
    // camera that has taken Digest gets no Basic, whatever it asks for.
    camera_ = CameraKey(url);
    digest_only_ = memory_ && memory_->DigestWorked(camera_);
    curl_easy_setopt(e, CURLOPT_USERNAME, tr.user.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, tr.password.c_str());
    curl_easy_setopt(e, CURLOPT_HTTPAUTH,
                     static_cast<long>(digest_only_ ? CURLAUTH_DIGEST : CURLAUTH_BASIC | CURLAUTH_DIGEST));
  } else {
    curl_easy_setopt(e, CURLOPT_USERNAME, nullptr);
    curl_easy_setopt(e, CURLOPT_PASSWORD, nullptr);
  }
  curl_easy_setopt(e, CURLOPT_USERAGENT, user_agent.c_str());
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, limits.stall_seconds);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &tr);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &tr);
  if (limits.max_duration_ms > 0) deadline_ = Clock::now() + std::chrono::milliseconds(limits.max_duration_ms);
  stall_ = std::chrono::seconds(std::max(limits.stall_seconds, 0L));
  first_byte_wait_ = std::max<std::chrono::milliseconds>(stall_, std::chrono::milliseconds(limits.connect_timeout_ms));
  tr.last_byte = Clock::now();
  if (!tr.request->Begin(*cancel_, error_)) {
    if (cancel_->Cancelled()) {
      state_ = State::kCancelled;
      transport_ = FailureReason::kStopped;
    }
    return false;
  }
  transport_ = FailureReason::kNone;
  state_ = State::kOpen;
  return true;
}

void HttpGet::ContinueAsStream(std::chrono::milliseconds stall) {
  if (!transfer_) return;
  transfer_->max_body = 0;
  // Only an announced length is checked against it by this libcurl; cleared all the same.
  curl_easy_setopt(transfer_->request->easy(), CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(0));
  deadline_ = Clock::time_point::max();
  stall_ = stall;
}

void HttpGet::Finish(State state, std::string error, FailureReason reason) {
  state_ = state;
  error_ = std::move(error);
  transport_ = reason;
}

void HttpGet::TakeResult() {
  int left = 0;
  while (CURLMsg* m = curl_multi_info_read(transfer_->request->multi(), &left)) {
    if (m->msg != CURLMSG_DONE) continue;
    const CURLcode rc = m->data.result;
    if (rc == CURLE_OK) {
      Finish(State::kComplete, {});
    } else if (transfer_->over) {
      Finish(State::kFailed, transfer_->over, FailureReason::kTooMuchData);
    } else {
      Finish(State::kFailed, transfer_->request->ErrorText(rc),
             transfer_->request->ReasonFor(rc, ResponseCode() != 0));
    }
  }
}

bool HttpGet::Resume() {
  transfer_->paused = false;
  transfer_->last_byte = Clock::now();  // nothing could come while the transfer was paused
  // May deliver the held bytes at once, through OnBody.
  const CURLcode rc = curl_easy_pause(transfer_->request->easy(), CURLPAUSE_CONT);
  if (rc == CURLE_OK) return true;
  if (transfer_->over) {
    Finish(State::kFailed, transfer_->over, FailureReason::kTooMuchData);  // a bound, hit by the held bytes
  } else {
    Finish(State::kFailed, curl_easy_strerror(rc), FailureReason::kConnectionLost);
  }
  return false;
}

size_t HttpGet::Read(void* buf, size_t max) { return ReadSome(buf, max, true); }

size_t HttpGet::ReadReady(void* buf, size_t max) { return ReadSome(buf, max, false); }

size_t HttpGet::ReadSome(void* buf, size_t max, bool wait) {
  if (!transfer_ || max == 0) return 0;
  Transfer& t = *transfer_;
  for (;;) {
    // A cancel wins over bytes already waiting: a slow reader must not drain 64 KiB first.
    if (state_ == State::kOpen && cancel_->Cancelled()) {
      Finish(State::kCancelled, "transfer cancelled", FailureReason::kStopped);
      t.buffer.clear();
      t.head = 0;
    }
    // So does the time bound: a camera that drips its body is not waited for, byte by byte.
    if (state_ == State::kOpen && Clock::now() >= deadline_) {
      Finish(State::kFailed, "too slow: the answer took longer than its time bound", FailureReason::kTooSlow);
      t.buffer.clear();
      t.head = 0;
    }
    // A stream that has gone silent; a paused transfer is ours to resume, not the camera's.
    if (state_ == State::kOpen && stall_.count() > 0 && !t.paused && Clock::now() >= StallAt()) {
      const auto waited = std::chrono::duration_cast<std::chrono::seconds>(StallAt() - t.last_byte);
      Finish(State::kFailed, "no byte from the camera for " + std::to_string(waited.count()) + " s",
             t.any_byte ? FailureReason::kConnectionLost : FailureReason::kNoAnswer);
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
    const CURLMcode mc = curl_multi_perform(t.request->multi(), &running);
    if (mc != CURLM_OK) {
      Finish(State::kFailed, curl_multi_strerror(mc), FailureReason::kConnectionLost);
      continue;
    }
    TakeResult();
    if (t.Available() > 0 || state_ != State::kOpen) continue;
    if (!wait) return 0;
    int wait_ms = kPollMilliseconds;
    for (const Clock::time_point until : {deadline_, stall_.count() > 0 ? StallAt() : Clock::time_point::max()}) {
      if (until == Clock::time_point::max()) continue;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
      wait_ms = static_cast<int>(std::clamp<long long>(left, 0, wait_ms));
    }
    // Returns on socket activity, a timer, or curl_multi_wakeup from a Cancel().
    const CURLMcode pc = t.request->Poll(wait_ms);
    if (pc != CURLM_OK) Finish(State::kFailed, curl_multi_strerror(pc), FailureReason::kConnectionLost);
  }
}

std::chrono::steady_clock::time_point HttpGet::StallAt() const {
  return transfer_->last_byte + (transfer_->any_byte ? stall_ : first_byte_wait_);
}

long HttpGet::ResponseCode() const {
  long code = 0;
  if (transfer_) curl_easy_getinfo(transfer_->request->easy(), CURLINFO_RESPONSE_CODE, &code);
  return code;
}

std::string HttpGet::ContentType() const {
  const char* type = nullptr;
  if (transfer_) curl_easy_getinfo(transfer_->request->easy(), CURLINFO_CONTENT_TYPE, &type);
  return type ? type : "";
}

std::string HttpGet::SignInOffered() const {
  long offered = 0;
  if (transfer_) curl_easy_getinfo(transfer_->request->easy(), CURLINFO_HTTPAUTH_AVAIL, &offered);
  std::string schemes;
  if (offered & CURLAUTH_DIGEST) schemes = "Digest";
  if (offered & CURLAUTH_BASIC) schemes += schemes.empty() ? "Basic" : ", Basic";
  return schemes;
}

size_t HttpGet::Buffered() const { return transfer_ ? transfer_->Available() : 0; }

Failure HttpGet::Outcome() const {
  Failure failure;
  failure.http_status = ResponseCode();
  if (state_ == State::kCancelled) {
    failure.reason = FailureReason::kStopped;
    return failure;
  }
  // The camera's own word comes first: a refused sign-in stays a refused sign-in, whatever
  // happened to its error page.
  long offered = 0;
  if (transfer_) curl_easy_getinfo(transfer_->request->easy(), CURLINFO_HTTPAUTH_AVAIL, &offered);
  if (failure.http_status == 401 && digest_only_ && (offered & CURLAUTH_BASIC) && !(offered & CURLAUTH_DIGEST)) {
    failure.reason = FailureReason::kUnsafeSignIn;
    failure.detail = "the camera asked for Basic after Digest had worked";
  } else if (failure.http_status != 0 && (failure.http_status < 200 || failure.http_status >= 300)) {
    failure.reason = FailureReason::kErrorStatus;
  } else if (state_ == State::kFailed || (state_ == State::kIdle && !error_.empty())) {
    failure.reason = transport_;
    failure.detail = error_;
  }
  return failure;
}

}  // namespace vantorel
