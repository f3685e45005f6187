#include "net/http_post.h"

#include <curl/curl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

#include "net/curl_request.h"
#include "net/sign_in_memory.h"
#include "net/url.h"

namespace vantorel {

namespace {

// A blocked call wakes at least this often even without network activity or a cancel
// (libcurl shortens the wait further for its own timers).
constexpr auto kPoll = std::chrono::milliseconds(1000);

// The request's own header lines; freed only after the handle that uses them.
struct HeaderList {
  curl_slist* lines = nullptr;
  HeaderList() = default;
  HeaderList(const HeaderList&) = delete;
  HeaderList& operator=(const HeaderList&) = delete;
  ~HeaderList() { curl_slist_free_all(lines); }
};

// The socket's send buffer: 16 KiB (the kernel doubles it), 0.5 s of a talk.
int SmallSendBuffer(void*, curl_socket_t socket, curlsocktype purpose) {
  if (purpose == CURLSOCKTYPE_IPCXN) {
    const int bytes = 16 * 1024;
    setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
  }
  return CURL_SOCKOPT_OK;
}

}  // namespace

// Body bytes kept for a restart after the camera's challenge: the request must go again, with
// the sign-in, from its first byte. The challenge comes before the first sound part (a
// camera answers the request head), so the body's opening pieces are what is kept; a talk
// challenged later than this many bytes is not restarted.
constexpr size_t kReplayLimit = 64 * 1024;
// How long Send() waits for an answer to the head alone: a challenge, or a refusal.
constexpr auto kChallengeWait = std::chrono::milliseconds(150);
// How long the sign-in's bodiless request may take beyond its connection.
constexpr auto kSignInWait = std::chrono::seconds(5);
// Header lines of all answers together.
constexpr size_t kHeaderLimit = 64 * 1024;

// One request: the easy handle on its own multi handle, and the piece being handed over.
struct HttpPost::Transfer {
  HeaderList headers;   // declared before the request, so destroyed after it
  CurlRequest request;  // the HttpPost keeps the token it attaches alive
  std::string user, password;  // kept while libcurl may read them
  const char* piece = nullptr;   // the rest of the piece being written
  size_t left = 0;
  bool send_paused = false;  // OnSend found nothing to give; libcurl waits for an unpause
  bool head_sent = false;    // libcurl asked for body bytes: the request head is out
  bool answered = false;     // a final status line and its headers have arrived
  bool final_seen = false;   // the same, for an answer that may still be a challenge
  bool challenged = false;   // a 401 came; libcurl may send the request again, signed in
  bool signs_in = false;     // credentials are set: a 401 may be followed by a second try
  int64_t room = 0;          // body bytes still allowed by the announced length
  // The body given to libcurl so far, while it may have to be given again (signs_in only).
  std::string given;
  size_t replay_at = 0;      // given[replay_at..] goes out again before the rest of the piece
  bool replayable = false;
  int restarts = 0;
  size_t header_bytes = 0;
  bool too_much = false;     // the answer's header lines went over kHeaderLimit
  int challenges = 0;        // 401 answers so far, sign-in included
  size_t answer_bytes = 0;   // of the answer's body, dropped
  bool probing = false;      // the sign-in's bodiless request is under way

  // libcurl asks for body bytes: first what a restart must send again, then the piece.
  // Between pieces there are none: pausing the upload makes libcurl wait (the connection
  // stays open, the answer is still read) until the next piece.
  static size_t OnSend(char* buffer, size_t size, size_t count, void* context) {
    auto& t = *static_cast<Transfer*>(context);
    t.head_sent = true;
    if (t.challenged) {
      // Body bytes asked for after a challenge: libcurl sends the request again, signed in.
      t.challenged = false;
      t.final_seen = false;  // the challenge was not the answer
      ++t.restarts;
    }
    const size_t room = size * count;
    if (t.replay_at < t.given.size()) {
      const size_t n = std::min(room, t.given.size() - t.replay_at);
      std::memcpy(buffer, t.given.data() + t.replay_at, n);
      t.replay_at += n;
      return n;
    }
    if (t.left == 0) {
      t.send_paused = true;
      return CURL_READFUNC_PAUSE;
    }
    const size_t n = std::min(room, t.left);
    std::memcpy(buffer, t.piece, n);
    if (t.replayable) {
      if (t.given.size() + n <= kReplayLimit) {
        t.given.append(t.piece, n);
        t.replay_at = t.given.size();
      } else {
        t.replayable = false;  // too far in to start again
        std::string().swap(t.given);
        t.replay_at = 0;
      }
    }
    t.piece += n;
    t.left -= n;
    return n;
  }

  // libcurl starts the body again: the camera challenged after body bytes had gone, and the
  // request goes once more, now with the sign-in. Only a restart from the first byte is
  // possible.
  static int OnSeek(void* context, curl_off_t offset, int origin) {
    auto& t = *static_cast<Transfer*>(context);
    if (origin != SEEK_SET || offset != 0 || !t.replayable) return CURL_SEEKFUNC_CANTSEEK;
    t.replay_at = 0;
    return CURL_SEEKFUNC_OK;
  }

  // Header lines of the answer; the empty line after a final (not 1xx) status completes it.
  // With credentials, a 401 is only the answer when libcurl does not try again: that shows
  // when the transfer ends instead (TakeResult).
  static size_t OnHeader(char* data, size_t size, size_t count, void* context) {
    auto& t = *static_cast<Transfer*>(context);
    const size_t n = size * count;
    if (n > kHeaderLimit - t.header_bytes) {
      t.too_much = true;
      return 0;
    }
    t.header_bytes += n;
    // The last challenge allowed ends the request: its 401 is the answer.
    if (EndsAChallenge(t.request.easy(), data, n) && ++t.challenges >= kMaxChallenges) {
      t.final_seen = true;
      t.challenged = false;
      t.answered = true;
      return 0;
    }
    if (t.probing) return n;
    if ((n == 2 && data[0] == '\r' && data[1] == '\n') || (n == 1 && data[0] == '\n')) {
      long code = 0;
      curl_easy_getinfo(t.request.easy(), CURLINFO_RESPONSE_CODE, &code);
      if (code >= 200) {
        t.final_seen = true;
        if (t.signs_in && code == 401) {
          t.challenged = true;
        } else {
          t.answered = true;
        }
      }
    }
    return n;
  }

  // The answer's body is not needed: up to kHeaderLimit of it is taken and dropped, then the
  // transfer ends (a camera that sends an endless answer does not keep the worker busy).
  static size_t OnAnswerBody(char*, size_t size, size_t count, void* context) {
    auto& t = *static_cast<Transfer*>(context);
    const size_t n = size * count;
    if (n > kHeaderLimit - std::min(t.answer_bytes, kHeaderLimit)) return 0;
    t.answer_bytes += n;
    return n;
  }
};

HttpPost::HttpPost(std::shared_ptr<CancelToken> cancel)
    : cancel_(cancel ? std::move(cancel) : CancelToken::Create()) {}

HttpPost::~HttpPost() = default;

bool HttpPost::Open(const std::string& url, const std::string& user_agent, int64_t content_length,
                    const HttpPostLimits& limits, const std::string& content_type) {
  if (transfer_ || state_ != State::kIdle) {
    error_ = "this request was already opened";
    return false;
  }
  std::string target, ignored;
  UrlCredentials credentials;
  if (!HostPortPathUrl(url, target, error_) || !SplitCredentials(url, ignored, credentials, error_)) return false;
  auto t = std::make_unique<Transfer>();
  if (!t->request.Create(limits.connect_timeout_ms, error_)) {
    transport_ = FailureReason::kLocalFailure;
    return false;
  }
  t->room = std::max<int64_t>(content_length, 0);
  // "Accept" replaces libcurl's own; the empty "Expect:" keeps libcurl from adding "Expect:
  // 100-continue", and the content type is ours or none (libcurl would add a form's).
  const std::string type_line = "Content-Type:" + (content_type.empty() ? std::string() : " " + content_type);
  for (const char* line : {"Accept: */*", "Expect:", type_line.c_str()}) {
    curl_slist* more = curl_slist_append(t->headers.lines, line);
    if (!more) {
      error_ = "cannot build the request headers";
      transport_ = FailureReason::kLocalFailure;
      return false;
    }
    t->headers.lines = more;
  }
  CURL* e = t->request.easy();
  // Every setting that shapes what goes on the wire is checked: an older libcurl that
  // refuses one of them refuses the request.
  const bool set = curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
                   curl_easy_setopt(e, CURLOPT_PROXY, "") == CURLE_OK &&
                   curl_easy_setopt(e, CURLOPT_URL, target.c_str()) == CURLE_OK &&
                   curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)) == CURLE_OK &&
                   curl_easy_setopt(e, CURLOPT_POST, 1L) == CURLE_OK &&
                   curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t->room)) == CURLE_OK &&
                   curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->headers.lines) == CURLE_OK &&
                   curl_easy_setopt(e, CURLOPT_USERAGENT, user_agent.c_str()) == CURLE_OK;
  if (!set) {
    error_ = "libcurl refused the request settings";
    transport_ = FailureReason::kLocalFailure;
    return false;
  }
  // Little is buffered on our side, so that a talk stays close to real time and a camera
  // that stops reading is noticed soon (the stall limit).
  curl_easy_setopt(e, CURLOPT_UPLOAD_BUFFERSIZE, 16384L);
  curl_easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, &SmallSendBuffer);
  curl_easy_setopt(e, CURLOPT_READFUNCTION, &Transfer::OnSend);
  curl_easy_setopt(e, CURLOPT_READDATA, t.get());
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, t.get());
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transfer::OnAnswerBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
  // The answer is never decoded: an inflating answer costs no more than its bytes.
  curl_easy_setopt(e, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  if (credentials.present) {
    // Several methods together: libcurl sends a request as it would without credentials
    // (no Authorization) and answers a challenge with the scheme it asks for. Send() first
    // signs in with a bodiless request, so that the talk's own request carries the sign-in
    // from its first byte; a challenge that comes anyway restarts the body through OnSeek.
    t->user = credentials.user;
    t->password = credentials.password;
    t->signs_in = true;
    t->replayable = true;
    curl_easy_setopt(e, CURLOPT_USERNAME, t->user.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, t->password.c_str());
    camera_ = CameraKey(url);
    digest_only_ = memory_ && memory_->DigestWorked(camera_);
    curl_easy_setopt(e, CURLOPT_HTTPAUTH,
                     static_cast<long>(digest_only_ ? CURLAUTH_DIGEST : CURLAUTH_BASIC | CURLAUTH_DIGEST));
    curl_easy_setopt(e, CURLOPT_SEEKFUNCTION, &Transfer::OnSeek);
    curl_easy_setopt(e, CURLOPT_SEEKDATA, t.get());
  }
  transfer_ = std::move(t);
  stall_ = std::chrono::milliseconds(std::max(limits.stall_ms, 1L));
  connect_ms_ = limits.connect_timeout_ms;
  state_ = State::kReady;
  return true;
}

void HttpPost::Finish(State state, std::string error, FailureReason reason) {
  state_ = state;
  error_ = std::move(error);
  transport_ = reason;
}

void HttpPost::TakeResult() {
  int left = 0;
  while (CURLMsg* m = curl_multi_info_read(transfer_->request.multi(), &left)) {
    if (m->msg != CURLMSG_DONE) continue;
    // A server that answers and closes while the body is still coming ends the transfer
    // with a send error; the answer is what counts (also a challenge not tried again).
    if (transfer_->answered || transfer_->final_seen) {
      transfer_->answered = true;
      Finish(State::kAnswered, {});
      continue;
    }
    const CURLcode rc = m->data.result;
    if (transfer_->too_much) {
      Finish(State::kFailed, "the camera sent too much: header lines over their bound", FailureReason::kTooMuchData);
      continue;
    }
    Finish(State::kFailed,
           rc == CURLE_OK ? transfer_->request.WithDetails("the transfer ended without an answer")
                          : transfer_->request.ErrorText(rc),
           transfer_->request.ReasonFor(rc, transfer_->head_sent));
  }
}

bool HttpPost::Drive(Until goal, std::chrono::steady_clock::time_point deadline) {
  Transfer& t = *transfer_;
  for (;;) {
    if (cancel_->Cancelled()) {
      Finish(State::kCancelled, "transfer cancelled", FailureReason::kStopped);
      return false;
    }
    if (state_ == State::kAnswered) return goal == Until::kAnswer;
    if (state_ != State::kReady && state_ != State::kSending) return false;
    // Unpaused when there is something to give: a piece, bytes to send again after a
    // restart, or the signed-in request that follows a challenge asking for its body.
    if (t.send_paused && (t.left > 0 || t.challenged || t.replay_at < t.given.size())) {
      t.send_paused = false;
      const CURLcode rc = curl_easy_pause(t.request.easy(), CURLPAUSE_CONT);
      if (rc != CURLE_OK) {
        Finish(State::kFailed, curl_easy_strerror(rc), FailureReason::kConnectionLost);
        return false;
      }
    }
    int running = 0;
    const CURLMcode mc = curl_multi_perform(t.request.multi(), &running);
    if (mc != CURLM_OK) {
      Finish(State::kFailed, curl_multi_strerror(mc), FailureReason::kConnectionLost);
      return false;
    }
    TakeResult();
    switch (goal) {
      case Until::kHeadSent:
        if (t.answered) {
          Finish(State::kAnswered, {});
          return false;
        }
        if (t.head_sent && state_ == State::kReady) return true;
        break;
      case Until::kSignedIn:
        if (t.answered) {
          Finish(State::kAnswered, {});
          return false;
        }
        if (t.restarts > 0) return true;
        break;
      case Until::kPieceTaken:
        if (t.left == 0 && state_ == State::kSending) return true;
        break;
      case Until::kAnswer:
        if (t.answered) {
          Finish(State::kAnswered, {});
          return true;
        }
        break;
    }
    if (state_ != State::kReady && state_ != State::kSending) continue;  // reported above
    auto wait = kPoll;
    if (deadline != std::chrono::steady_clock::time_point::max()) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) return false;
      wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
    }
    // Returns on socket activity, a timer, or curl_multi_wakeup from a Cancel().
    const CURLMcode pc = t.request.Poll(static_cast<int>(wait.count()));
    if (pc != CURLM_OK) Finish(State::kFailed, curl_multi_strerror(pc), FailureReason::kConnectionLost);
  }
}

bool HttpPost::SignIn() {
  Transfer& t = *transfer_;
  CURL* e = t.request.easy();
  // A GET of the same URL, its answer dropped: the challenge it draws is answered by
  // libcurl, whose sign-in state (scheme, nonce) then serves the POST on the same handle.
  curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
  t.probing = true;
  if (!t.request.Begin(*cancel_, error_)) {
    if (cancel_->Cancelled()) Finish(State::kCancelled, "transfer cancelled", FailureReason::kStopped);
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(connect_ms_) + kSignInWait;
  CURLcode result = CURLE_OPERATION_TIMEDOUT;
  bool done = false;
  while (!done && !cancel_->Cancelled() && std::chrono::steady_clock::now() < deadline) {
    int running = 0;
    if (curl_multi_perform(t.request.multi(), &running) != CURLM_OK) break;
    int left = 0;
    while (CURLMsg* m = curl_multi_info_read(t.request.multi(), &left)) {
      if (m->msg == CURLMSG_DONE) {
        done = true;
        result = m->data.result;
      }
    }
    if (!done) t.request.Poll(100);
  }
  t.request.End();
  t.probing = false;
  if (cancel_->Cancelled()) {
    Finish(State::kCancelled, "transfer cancelled", FailureReason::kStopped);
    return false;
  }
  long code = 0;
  curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &code);
  long offered = 0;
  curl_easy_getinfo(e, CURLINFO_HTTPAUTH_AVAIL, &offered);
  if (code == 401 || code == 403) {
    // Refused: the talk is not sent at all.
    sign_in_status_ = code;
    unsafe_ = code == 401 && digest_only_ && (offered & CURLAUTH_BASIC) && !(offered & CURLAUTH_DIGEST);
    Finish(State::kAnswered, {});
    return false;
  }
  if (!done || (result != CURLE_OK && code == 0)) {
    Finish(State::kFailed, done ? t.request.ErrorText(result) : "no answer to the sign-in",
           done ? t.request.ReasonFor(result, false) : FailureReason::kNoAnswer);
    return false;
  }
  // Whatever else the GET drew (a 405, a 400, a 200), the sign-in is learnt: back to the POST.
  signed_in_ = offered != 0;
  if (memory_ && (offered & CURLAUTH_DIGEST)) memory_->NoteDigest(camera_);
  t.header_bytes = 0;
  t.answer_bytes = 0;
  t.too_much = false;
  curl_easy_setopt(e, CURLOPT_POST, 1L);
  curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.room));
  return true;
}

bool HttpPost::Send() {
  if (state_ != State::kReady) return false;
  if (transfer_->signs_in && !SignIn()) return false;
  if (!transfer_->request.Begin(*cancel_, error_)) {
    if (cancel_->Cancelled()) {
      Finish(State::kCancelled, "transfer cancelled", FailureReason::kStopped);
    } else {
      Finish(State::kFailed, error_, FailureReason::kLocalFailure);
    }
    return false;
  }
  if (!Drive(Until::kHeadSent, std::chrono::steady_clock::time_point::max())) return false;
  // A camera answers a head it refuses at once (a challenge, 401, 405, 413, 415, 503):
  // waiting for that here keeps the body from going into a refused request, and the
  // refusal from being taken for a lost connection once the writes meet the closed socket.
  // The wait ends before the first sound part is due (it waits for four buffers).
  const auto deadline = std::chrono::steady_clock::now() + kChallengeWait;
  if (transfer_->signs_in && !signed_in_) {
    // The GET drew no challenge, yet the POST may: it goes again, signed in, before any body
    // byte is written; a challenge that comes later still restarts the body.
    Drive(Until::kSignedIn, deadline);
    if (state_ != State::kReady) return false;  // refused, failed or cancelled
  }
  if (Drive(Until::kAnswer, deadline) || state_ != State::kReady) return false;
  state_ = State::kSending;
  return true;
}

bool HttpPost::Write(const void* data, size_t size) {
  if (state_ != State::kSending) return false;
  Transfer& t = *transfer_;
  if (static_cast<uint64_t>(t.room) < size) return false;
  if (size == 0) return true;
  t.room -= static_cast<int64_t>(size);
  t.piece = static_cast<const char*>(data);
  t.left = size;
  const bool taken = Drive(Until::kPieceTaken, std::chrono::steady_clock::now() + stall_);
  // libcurl must never read the caller's buffer after this returns.
  t.piece = nullptr;
  t.left = 0;
  if (!taken && state_ == State::kSending) {
    Finish(State::kFailed, "the camera has taken nothing for " + std::to_string(stall_.count()) + " ms",
           FailureReason::kConnectionLost);
  }
  return taken;
}

bool HttpPost::End(std::chrono::milliseconds limit) {
  if (state_ == State::kAnswered) return true;
  if (state_ != State::kSending) return false;
  const bool answered = Drive(Until::kAnswer, std::chrono::steady_clock::now() + limit);
  if (!answered && state_ == State::kSending) {
    Finish(State::kFailed, "no answer within " + std::to_string(limit.count()) + " ms", FailureReason::kNoAnswer);
  }
  return answered;
}

long HttpPost::ResponseCode() const {
  if (sign_in_status_ != 0) return sign_in_status_;
  long code = 0;
  // A challenge that libcurl answers by signing in is not the answer.
  if (transfer_ && transfer_->answered) curl_easy_getinfo(transfer_->request.easy(), CURLINFO_RESPONSE_CODE, &code);
  return code;
}

int HttpPost::Restarts() const { return transfer_ ? transfer_->restarts : 0; }

int64_t HttpPost::Room() const { return transfer_ ? transfer_->room : 0; }

Failure HttpPost::Outcome() const {
  Failure failure;
  failure.http_status = ResponseCode();
  switch (state_) {
    case State::kCancelled:
      failure.reason = FailureReason::kStopped;
      break;
    case State::kAnswered:
      if (unsafe_) {
        failure.reason = FailureReason::kUnsafeSignIn;
        failure.detail = "the camera asked for Basic after Digest had worked";
      } else if (failure.http_status < 200 || failure.http_status >= 300) {
        failure.reason = FailureReason::kErrorStatus;
      }
      break;
    case State::kFailed:
      failure.reason = transport_;
      failure.detail = error_;
      break;
    case State::kIdle:
      // Open() failed: an unusable URL, unless it said otherwise.
      if (!error_.empty()) {
        failure.reason = transport_ != FailureReason::kNone ? transport_ : FailureReason::kCannotConnect;
        failure.detail = error_;
      }
      break;
    case State::kReady:
    case State::kSending:
      break;
  }
  return failure;
}

}  // namespace vantorel
