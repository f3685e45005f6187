#pragma once
// The camera's input and output ports over HTTP: watching the call button's input and
// pulsing the door opener's output. Both go to the camera's base (scheme, user name and
// password, host and port of any of its URLs) and sign in as the camera asks.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "door/io_events.h"
#include "runtime/cancel_token.h"
#include "runtime/failure.h"

namespace vantorel {

inline constexpr const char* kDoorUserAgent = "Vantorel door";

// The base of `url`, any URL of the camera or the base itself: "http://user:pw@host:8080"
// (no path, query or fragment). nullopt, with a one-line reason in `error` (never holding
// the password), unless it is an http:// or https:// URL with a host.
std::optional<std::string> CameraBase(std::string_view url, std::string* error = nullptr);

// Which of the camera's monitor endpoints answered: port.cgi, or input.cgi on older cameras.
enum class IoDialect { kPortCgi, kInputCgi };

std::string MonitorUrl(const std::string& base, IoDialect dialect, int port);
// port.cgi's action "PORT:/MS\" (active, MS milliseconds, inactive), percent-encoded.
std::string PulseUrl(const std::string& base, int port, int ms);

// The camera sends a heartbeat every 15 s while nothing changes; a stream silent for a
// little longer is lost.
inline constexpr long kMonitorStallSeconds = 17;

struct MonitorOptions {
  long stall_seconds = kMonitorStallSeconds;
};

// What a watch keeps from one attempt to the next: the endpoint that answered.
struct MonitorState {
  std::optional<IoDialect> dialect;
};

struct MonitorHooks {
  std::function<void()> opened;                   // the camera answered with its stream
  std::function<void(const IoEvent&)> event;      // each token, as soon as it is read
};

// One watch of input `port`: the monitor stream of port.cgi (input.cgi when port.cgi is not
// there, 404; the one that answered is kept in `state`), its events to `hooks`, until the
// camera ends the stream (kNone), it fails, or `cancel` ends it (kStopped). An error status
// comes back as kErrorStatus for the caller to classify; a 2xx answer that is no multipart
// stream is kNoCallButton.
Failure WatchInputs(const std::shared_ptr<CancelToken>& cancel, const std::string& base, int port,
                    MonitorState& state, const MonitorHooks& hooks, const MonitorOptions& options = {});

// Pulses output `port` active for `ms` milliseconds. kNone when the camera took it; an error
// status as kErrorStatus; a 2xx answer whose text begins with "Error" as kOpenerRefused.
Failure PulseOutput(const std::shared_ptr<CancelToken>& cancel, const std::string& base, int port, int ms);

}  // namespace vantorel
