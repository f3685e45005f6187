#include "camsim/server.h"

#include <algorithm>
#include <array>
#include <utility>

#include "camsim/endpoints.h"
#include "camsim/raw_fault_server.h"

namespace vantorel::camsim {

namespace {

constexpr size_t kServingThreads = 48;

constexpr std::array<std::pair<Fault, const char*>, 16> kFaultNames{{
    {Fault::kNone, "none"},
    {Fault::kNotFound, "not-found"},
    {Fault::kServerError, "server-error"},
    {Fault::kEmpty, "empty"},
    {Fault::kTruncated, "truncated"},
    {Fault::kHugeHeader, "huge-header"},
    {Fault::kStall, "stall"},
    {Fault::kCloseMidBody, "close-mid-body"},
    {Fault::kDrip, "drip"},
    {Fault::kSlow, "slow"},
    {Fault::kReset, "reset"},
    {Fault::kNoRead, "no-read"},
    {Fault::kEndlessBody, "endless-body"},
    {Fault::kInflating, "inflating"},
    {Fault::kEndlessTrailers, "endless-trailers"},
    {Fault::kSlowBody, "slow-body"},
}};

// The faults served on a plain socket, and how.
std::optional<RawFaultServer::Mode> RawMode(Fault fault) {
  switch (fault) {
    case Fault::kReset:
      return RawFaultServer::Mode::kReset;
    case Fault::kNoRead:
      return RawFaultServer::Mode::kNoRead;
    case Fault::kEndlessBody:
      return RawFaultServer::Mode::kEndlessBody;
    case Fault::kInflating:
      return RawFaultServer::Mode::kInflating;
    case Fault::kEndlessTrailers:
      return RawFaultServer::Mode::kEndlessTrailers;
    case Fault::kSlowBody:
      return RawFaultServer::Mode::kSlowBody;
    default:
      return std::nullopt;
  }
}

// --auth, or the older basic_auth field.
SignInOptions EffectiveSignIn(const Options& o) {
  if (!o.sign_in.account.empty() || o.basic_auth.empty()) return o.sign_in;
  SignInOptions basic = o.sign_in;
  basic.account = o.basic_auth;
  basic.scheme = AuthScheme::kBasic;
  return basic;
}

std::string ErrorPage(int status, const char* reason) {
  return "<html><head><title>" + std::to_string(status) + " " + reason + "</title></head><body><h1>" + reason +
         "</h1></body></html>\n";
}

}  // namespace

bool AnswerErrorFault(Fault fault, httplib::Response& res) {
  if (fault == Fault::kNotFound) {
    res.status = 404;
    res.set_content(ErrorPage(404, "Not Found"), "text/html");
    return true;
  }
  if (fault == Fault::kServerError) {
    res.status = 500;
    res.set_content(ErrorPage(500, "Internal Server Error"), "text/html");
    return true;
  }
  return false;
}

std::optional<Fault> ParseFault(std::string_view name) {
  for (const auto& [fault, text] : kFaultNames) {
    if (name == text) return fault;
  }
  return std::nullopt;
}

const char* FaultName(Fault fault) {
  for (const auto& [f, text] : kFaultNames) {
    if (f == fault) return text;
  }
  return "?";
}

std::vector<const char*> FaultNames() {
  std::vector<const char*> names;
  for (const auto& entry : kFaultNames) names.push_back(entry.second);
  return names;
}

namespace {

constexpr std::array<std::pair<MjpegFault, const char*>, 6> kMjpegFaultNames{{
    {MjpegFault::kNone, "none"},
    {MjpegFault::kNoLength, "no-length"},
    {MjpegFault::kDashedBoundary, "dashed-boundary"},
    {MjpegFault::kJunkFirst, "junk-first"},
    {MjpegFault::kHugePart, "huge-part"},
    {MjpegFault::kStop, "stop"},
}};

}  // namespace

std::optional<MjpegFault> ParseMjpegFault(std::string_view name) {
  for (const auto& [fault, text] : kMjpegFaultNames) {
    if (name == text) return fault;
  }
  return std::nullopt;
}

std::vector<const char*> MjpegFaultNames() {
  std::vector<const char*> names;
  for (const auto& entry : kMjpegFaultNames) names.push_back(entry.second);
  return names;
}

Context::Context(Options options) : options_(std::move(options)), sign_in_(EffectiveSignIn(options_)) {}

void Context::SetStopping() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stop_cv_.notify_all();
}

Context::RequestScope::RequestScope(Context& c, const httplib::Request& req) : c_(c) {
  std::lock_guard lock(c_.mutex_);
  ++c_.stats_.requests;
  ++c_.in_flight_;
  c_.stats_.max_concurrent = std::max(c_.stats_.max_concurrent, c_.in_flight_);
  c_.stats_.last_user_agent = req.get_header_value("User-Agent");
}

Context::RequestScope::~RequestScope() {
  std::lock_guard lock(c_.mutex_);
  --c_.in_flight_;
}

bool Context::Authorized(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader* body) {
  const SignIn::Verdict verdict = sign_in_.Check(req.method, req.target, req.get_header_value("Authorization"));
  if (verdict == SignIn::Verdict::kAllowed) return true;
  if (body && options_.current.challenge_after_body) DrainBody(*this, *body);
  const bool stale = verdict == SignIn::Verdict::kStaleChallenge;
  UpdateStats([stale](Stats& s) {
    ++s.challenges;
    if (stale) ++s.stale_challenges;
  });
  res.status = 401;
  for (const std::string& value : sign_in_.Challenge(stale)) res.headers.emplace("WWW-Authenticate", value);
  // As cameras do: the connection ends with the challenge (and what is left of an upload
  // is never taken for a next request).
  res.set_header("Connection", "close");
  res.set_content("<html><body><h1>401 Unauthorized</h1></body></html>", "text/html");
  return false;
}

bool Context::WaitForFrameTime() {
  if (options_.fps <= 0) return true;
  const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::seconds(1)) /
                      options_.fps;
  std::chrono::steady_clock::time_point due;
  {
    std::lock_guard lock(mutex_);
    due = std::max(std::chrono::steady_clock::now(), next_frame_);
    next_frame_ = due + period;
  }
  return Pause(due - std::chrono::steady_clock::now());
}

void Context::CountStill(int remote_port) {
  std::lock_guard lock(mutex_);
  ++stats_.stills;
  if (std::find(still_ports_.begin(), still_ports_.end(), remote_port) == still_ports_.end()) {
    ++stats_.still_connections;
    still_ports_.push_back(remote_port);
    if (still_ports_.size() > 1024) still_ports_.erase(still_ports_.begin());
  }
}

Stats Context::stats() const {
  std::lock_guard lock(mutex_);
  return stats_;
}

const std::string& Context::NextStill() {
  return options_.stills[next_still_.fetch_add(1) % options_.stills.size()];
}

Server::Server(Options options) : context_(std::move(options)) {
  RegisterImageEndpoint(http_, context_);
  RegisterStreamEndpoint(http_, context_);
  RegisterTalkGet(http_, context_);
  if (context_.options().current.firmware == Firmware::kCurrent) {
    RegisterCurrentEndpoints(http_, context_);
  } else {
    RegisterTalkEndpoint(http_, context_);
    RegisterAudioEndpoint(http_, context_);
  }
  RegisterIoEndpoint(http_, context_);
  ApplyWebServerBehaviours(http_, context_);
  // Small writes (paced parts, split parts, drips) leave at once instead of waiting for
  // the peer's acknowledgement.
  http_.set_tcp_nodelay(true);
  // Stills keep their connection as long as the client likes (a camera's keep-alive); every
  // kept connection and every held stream holds a thread, so there are plenty.
  http_.set_keep_alive_max_count(1000000);
  http_.new_task_queue = [] { return new httplib::ThreadPool(kServingThreads); };
  if (context_.options().talk.fault == TalkFault::kStopReading) {
    // A camera that stops reading has a small device's receive buffer (inherited by every
    // accepted connection), so the talk's sender finds it full after seconds, not minutes.
    http_.set_socket_options([](socket_t sock) {
      httplib::default_socket_options(sock);
      const int bytes = 8 * 1024;
      setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    });
  }
}

Server::~Server() { Stop(); }

bool Server::Start() {
  const int wanted = context_.options().port;
  const Fault fault = context_.options().fault;
  if (const auto mode = RawMode(fault)) {
    raw_ = std::make_unique<RawFaultServer>(*mode, [this] { context_.UpdateStats([](Stats& s) { ++s.requests; }); });
    port_ = raw_->Start(wanted);
    if (port_ <= 0) raw_.reset();
    return port_ > 0;
  }
  if (wanted == 0) {
    port_ = http_.bind_to_any_port("127.0.0.1");
  } else {
    port_ = http_.bind_to_port("127.0.0.1", wanted) ? wanted : -1;
  }
  if (port_ <= 0) return false;
  thread_ = std::thread([this] {
    http_.listen_after_bind();
    listen_ended_.store(true);
  });
  // stop() only takes effect once the accept loop runs: wait for it.
  while (!http_.is_running() && !listen_ended_.load()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (listen_ended_.load()) {
    thread_.join();
    return false;
  }
  return true;
}

void Server::Stop() {
  context_.SetStopping();
  if (raw_) raw_->Stop();
  if (thread_.joinable()) {
    http_.stop();
    thread_.join();
  }
}

}  // namespace vantorel::camsim
