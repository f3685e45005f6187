// The camera's ports: GET /axis-cgi/io/port.cgi with
//   monitor=N      an endless multipart/x-mixed-replace stream (boundary "ioboundary") of
//                  text/plain parts: first the input's state ("NI:H" or "NI:L"), then "NI:/"
//                  when it becomes active and "NI:\" when it becomes inactive, and an empty
//                  part after each heartbeat without a change; each part's delimiter comes
//                  before it, with no length, as the camera's documentation shows it
//   checkactive=N  "portN=active" or "portN=inactive"
//   action=N:/MS\  pulses output N for MS milliseconds ("relay: port N pulse MS ms" on stdout)
// and GET /axis-cgi/io/input.cgi?monitor=N, the older cameras' stream ("IO1:/", "IO1:\").
// The call button is on input button_port, pressed at ring_at and every ring_every, each
// press kPressLength long; every other input stays inactive. --io-old takes port.cgi away.
// All of it behind --auth. The run's --fault: not-found and server-error answer with their
// page, empty with no body, slow waits first, stall never answers, drip sends each byte
// alone; monitor_drop closes each stream after its time (the reconnect test).

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "camsim/endpoints.h"

namespace vantorel::camsim {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kMaxPort = 64;

// The button's schedule, counted from the endpoint's registration (the server's making).
class Button {
 public:
  explicit Button(const IoOptions& options) : options_(options), epoch_(Clock::now()) {}

  milliseconds Now() const { return std::chrono::duration_cast<milliseconds>(Clock::now() - epoch_); }
  Clock::time_point At(milliseconds t) const { return epoch_ + t; }

  bool ActiveAt(milliseconds t) const {
    for (const milliseconds p : PressesNear(t)) {
      if (p <= t && t < p + kPressLength) return true;
    }
    return false;
  }

  // The first moment after `t` at which the button's state changes; max when none comes.
  milliseconds NextChange(milliseconds t) const {
    std::vector<milliseconds> candidates;
    for (const milliseconds p : PressesNear(t)) {
      for (const milliseconds c : {p, p + kPressLength}) {
        if (c > t) candidates.push_back(c);
      }
    }
    std::sort(candidates.begin(), candidates.end());
    for (const milliseconds c : candidates) {
      if (ActiveAt(c) != ActiveAt(c - milliseconds(1))) return c;
    }
    return milliseconds::max();
  }

  // Notes that the press starting at `t` was sent; the first stream to send it counts.
  void Sent(milliseconds t, Context& context) {
    {
      std::lock_guard lock(mutex_);
      if (!sent_.insert(t.count()).second) return;
    }
    const auto due = At(t);
    context.UpdateStats([due](Stats& s) { s.io.presses.push_back(due); });
  }

 private:
  // The scheduled presses that may matter around `t`: every ring_at, and the periodic ones
  // that touch [t - press, t + two periods].
  std::vector<milliseconds> PressesNear(milliseconds t) const {
    std::vector<milliseconds> near = options_.ring_at;
    const milliseconds every = options_.ring_every;
    if (every.count() > 0) {
      const long long first = std::max<long long>(1, (t - kPressLength).count() / every.count());
      for (long long k = first; k < first + 3; ++k) near.push_back(every * k);
    }
    return near;
  }

  const IoOptions& options_;
  const Clock::time_point epoch_;
  std::mutex mutex_;
  std::set<long long> sent_;  // guarded by mutex_
};

std::optional<int> PortParameter(const std::string& text) {
  int port = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (ec != std::errc() || ptr != text.data() + text.size() || port < 1 || port > kMaxPort) return std::nullopt;
  return port;
}

// One monitor stream; lives as long as its content provider.
class MonitorStream {
 public:
  MonitorStream(Context& context, Button& button, int port, bool older)
      : context_(context), button_(button), options_(context.options().io), port_(port), older_(older) {}

  // The next part; false ends the stream.
  bool Step(httplib::DataSink& sink) {
    if (!started_) {
      started_ = true;
      opened_ = Clock::now();
      last_ = button_.Now();
      return Part(sink, Token(Watched() && button_.ActiveAt(last_) ? 'H' : 'L'));
    }
    const milliseconds change = Watched() ? button_.NextChange(last_) : milliseconds::max();
    const Clock::time_point change_at = change == milliseconds::max() ? Clock::time_point::max() : button_.At(change);
    const Clock::time_point beat_at = last_write_ + options_.heartbeat;
    const Clock::time_point drop_at =
        options_.monitor_drop.count() > 0 ? opened_ + options_.monitor_drop : Clock::time_point::max();
    const Clock::time_point wake = std::min({change_at, beat_at, drop_at});
    if (!context_.Pause(wake - Clock::now())) return false;
    if (wake == drop_at) return false;  // the connection closes: the stream is dropped
    if (wake == change_at) {
      last_ = change;
      const bool active = button_.ActiveAt(change);
      if (active) button_.Sent(change, context_);
      return Part(sink, Token(active ? '/' : '\\'));
    }
    return Part(sink, "");  // heartbeat
  }

  const char* Boundary() const { return older_ ? "myboundary" : "ioboundary"; }

 private:
  bool Watched() const { return port_ == options_.button_port; }

  std::string Token(char level) const {
    const std::string n = std::to_string(port_);
    return older_ ? "IO" + n + ":" + level : n + "I:" + level;
  }

  bool Part(httplib::DataSink& sink, const std::string& text) {
    std::string part = std::string("--") + Boundary() + "\r\nContent-Type: text/plain\r\n\r\n";
    if (!text.empty()) part += text + "\r\n";
    last_write_ = Clock::now();
    if (context_.options().fault != Fault::kDrip) return sink.write(part.data(), part.size());
    for (size_t i = 0; i < part.size(); ++i) {
      if (i > 0 && !context_.Pause(context_.options().drip_gap)) return false;
      if (!sink.write(part.data() + i, 1)) return false;
    }
    return true;
  }

  Context& context_;
  Button& button_;
  const IoOptions& options_;
  const int port_;
  const bool older_;
  bool started_ = false;
  Clock::time_point opened_{};
  Clock::time_point last_write_{};
  milliseconds last_{0};  // the schedule's time up to which changes were sent
};

// The run's fault, as far as it shapes an answer before its body; false when the answer is
// already made (or the server stops).
bool BeforeAnswer(Context& context, httplib::Response& res) {
  const Options& o = context.options();
  if (AnswerErrorFault(o.fault, res)) return false;
  switch (o.fault) {
    case Fault::kEmpty:
      res.set_content("", "text/plain");
      return false;
    case Fault::kStall:
      context.WaitUntilStopping();
      res.status = 503;
      return false;
    case Fault::kSlow:
      return context.Pause(o.slow_delay);
    default:
      return true;
  }
}

void Monitor(Context& context, Button& button, const httplib::Request& req, httplib::Response& res, bool older) {
  // Counted until the stream ends, not only while this handler runs.
  auto scope = std::make_shared<Context::RequestScope>(context, req);
  if (!context.Authorized(req, res)) return;
  const auto port = PortParameter(req.get_param_value("monitor"));
  if (!port) {
    res.status = 400;
    res.set_content("Error: invalid port\n", "text/plain");
    return;
  }
  if (!BeforeAnswer(context, res)) return;
  context.UpdateStats([](Stats& s) { ++s.io.monitor_streams; });
  auto stream = std::make_shared<MonitorStream>(context, button, *port, older);
  res.set_header("Connection", "close");  // the body has no length: its end is the connection's
  res.set_content_provider(std::string("multipart/x-mixed-replace; boundary=") + stream->Boundary(),
                           [stream, scope](size_t, httplib::DataSink& sink) { return stream->Step(sink); });
}

// "N:/MS\": output N active for MS milliseconds.
bool ParsePulse(const std::string& action, int& port, int& ms) {
  const size_t colon = action.find(":/");
  if (colon == std::string::npos || action.size() < colon + 4 || action.back() != '\\') return false;
  const auto p = PortParameter(action.substr(0, colon));
  const std::string length = action.substr(colon + 2, action.size() - colon - 3);
  int value = 0;
  const auto [ptr, ec] = std::from_chars(length.data(), length.data() + length.size(), value);
  if (!p || ec != std::errc() || ptr != length.data() + length.size() || value < 1 || value > 600000) return false;
  port = *p;
  ms = value;
  return true;
}

}  // namespace

void RegisterIoEndpoint(httplib::Server& http, Context& context) {
  auto button = std::make_shared<Button>(context.options().io);
  http.Get("/axis-cgi/io/port.cgi", [&context, button](const httplib::Request& req, httplib::Response& res) {
    const IoOptions& io = context.options().io;
    if (io.no_port_cgi) {
      Context::RequestScope scope(context, req);
      AnswerErrorFault(Fault::kNotFound, res);
      return;
    }
    if (req.has_param("monitor")) return Monitor(context, *button, req, res, false);
    Context::RequestScope scope(context, req);
    if (!context.Authorized(req, res)) return;
    if (!BeforeAnswer(context, res)) return;
    if (req.has_param("checkactive")) {
      const auto port = PortParameter(req.get_param_value("checkactive"));
      if (!port) {
        res.status = 400;
        res.set_content("Error: invalid port\n", "text/plain");
        return;
      }
      const bool active = *port == io.button_port && button->ActiveAt(button->Now());
      res.set_content("port" + std::to_string(*port) + (active ? "=active\n" : "=inactive\n"), "text/plain");
      return;
    }
    int port = 0, ms = 0;
    if (!req.has_param("action") || !ParsePulse(req.get_param_value("action"), port, ms)) {
      res.status = 400;
      res.set_content("Error: unknown request\n", "text/plain");
      return;
    }
    context.UpdateStats([port, ms](Stats& s) {
      ++s.io.pulses;
      s.io.last_pulse_port = port;
      s.io.last_pulse_ms = ms;
    });
    if (io.print) {
      std::printf("relay: port %d pulse %d ms\n", port, ms);
      std::fflush(stdout);
    }
    res.set_content("OK\n", "text/plain");
  });
  http.Get("/axis-cgi/io/input.cgi", [&context, button](const httplib::Request& req, httplib::Response& res) {
    Monitor(context, *button, req, res, true);
  });
}

std::optional<std::vector<milliseconds>> ParseSecondsList(std::string_view text) {
  std::vector<milliseconds> list;
  while (!text.empty()) {
    const size_t comma = std::min(text.find(','), text.size());
    const std::string item(text.substr(0, comma));
    char* end = nullptr;
    const double seconds = std::strtod(item.c_str(), &end);
    if (item.empty() || *end != '\0' || !(seconds >= 0) || seconds > 86400) return std::nullopt;
    list.push_back(milliseconds(static_cast<long long>(seconds * 1000 + 0.5)));
    text.remove_prefix(std::min(comma + 1, text.size()));
  }
  if (list.empty()) return std::nullopt;
  return list;
}

}  // namespace vantorel::camsim
