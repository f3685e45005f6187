#include "camsim/server.h"

#include <algorithm>
#include <array>
#include <utility>

#include "camsim/endpoints.h"
#include "camsim/raw_fault_server.h"

namespace vantorel::camsim {

namespace {

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

std::string Base64(std::string_view in) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    uint32_t v = static_cast<uint8_t>(in[i]) << 16;
    if (i + 1 < in.size()) v |= static_cast<uint8_t>(in[i + 1]) << 8;
    if (i + 2 < in.size()) v |= static_cast<uint8_t>(in[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < in.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += i + 2 < in.size() ? kAlphabet[v & 63] : '=';
  }
  return out;
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

bool Context::Authorized(const httplib::Request& req, httplib::Response& res) const {
  if (options_.basic_auth.empty()) return true;
  if (req.get_header_value("Authorization") == "Basic " + Base64(options_.basic_auth)) return true;
  res.status = 401;
  res.set_header("WWW-Authenticate", "Basic realm=\"camsim\"");
  res.set_content("<html><body><h1>401 Unauthorized</h1></body></html>", "text/html");
  return false;
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
  RegisterTalkEndpoint(http_, context_);
  RegisterAudioEndpoint(http_, context_);
  // Small writes (paced parts, split parts, drips) leave at once instead of waiting for
  // the peer's acknowledgement.
  http_.set_tcp_nodelay(true);
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
