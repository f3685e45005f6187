#include "door/camera_io.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "net/http_get.h"
#include "net/multipart_reader.h"
#include "net/url.h"
#include "runtime/ascii.h"
#include "runtime/log.h"

namespace vantorel {

namespace {

constexpr size_t kReadBytes = 4096;

Failure Logged(const std::string& url, Failure failure) {
  if (failure.failed() && LogEnabled()) {
    LogFailure("door %s: %s (HTTP %ld) %s", RedactUrl(url).c_str(), FailureName(failure.reason), failure.http_status,
               failure.detail.c_str());
  }
  return failure;
}

// One GET of a monitor URL. `opened` tells whether the camera answered with its stream.
Failure WatchOnce(const std::shared_ptr<CancelToken>& cancel, const std::string& url, const MonitorHooks& hooks,
                  const MonitorOptions& options, bool& opened) {
  opened = false;
  HttpGet get(cancel);
  if (!get.Open(url, kDoorUserAgent, {.stall_seconds = options.stall_seconds})) return Logged(url, get.Outcome());
  uint8_t buffer[kReadBytes];
  size_t n = get.Read(buffer, sizeof buffer);
  // The status and the type are known once the first bytes (or the end) have come.
  const long status = get.ResponseCode();
  if (status != 0 && (status < 200 || status >= 300)) return Logged(url, get.Outcome());
  if (n == 0) return Logged(url, get.Outcome());
  const std::string type = get.ContentType();
  if (!IsMultipartType(type)) {
    return Logged(url, {FailureReason::kNoCallButton, status,
                        "the answer is \"" + type.substr(0, 80) + "\", not the ports' monitor stream"});
  }
  opened = true;
  if (hooks.opened) hooks.opened();
  IoMonitorReader reader(type);
  const IoMonitorReader::EventCallback on_event = [&hooks](const IoEvent& event) {
    if (hooks.event) hooks.event(event);
  };
  for (; n > 0; n = get.Read(buffer, sizeof buffer)) {
    reader.Feed(std::span<const uint8_t>(buffer, n), get.Buffered() == 0, on_event);
  }
  return Logged(url, get.Outcome());
}

bool IsNotThere(const Failure& failure) {
  return failure.reason == FailureReason::kErrorStatus && failure.http_status == 404;
}

}  // namespace

std::optional<std::string> CameraBase(std::string_view url, std::string* error) {
  const auto fail = [error](const char* why) -> std::optional<std::string> {
    if (error) *error = why;
    return std::nullopt;
  };
  while (!url.empty() && std::isspace(static_cast<unsigned char>(url.front()))) url.remove_prefix(1);
  while (!url.empty() && std::isspace(static_cast<unsigned char>(url.back()))) url.remove_suffix(1);
  const size_t colon = url.find("://");
  if (colon == std::string_view::npos) return fail("not a URL: it has no http:// or https://");
  const std::string scheme = AsciiLower(url.substr(0, colon));
  if (scheme != "http" && scheme != "https") return fail("only http:// and https:// cameras are used");
  std::string_view authority = url.substr(colon + 3);
  authority = authority.substr(0, std::min(authority.find_first_of("/?#"), authority.size()));
  const size_t at = authority.rfind('@');
  const std::string_view host = at == std::string_view::npos ? authority : authority.substr(at + 1);
  if (host.empty() || host.front() == ':') return fail("the URL names no host");
  for (const char c : authority) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return fail("the URL's host holds a control character or a space");
  }
  return scheme + "://" + std::string(authority);
}

std::string MonitorUrl(const std::string& base, IoDialect dialect, int port) {
  const char* path = dialect == IoDialect::kPortCgi ? "/axis-cgi/io/port.cgi" : "/axis-cgi/io/input.cgi";
  return base + path + "?monitor=" + std::to_string(port);
}

std::string PulseUrl(const std::string& base, int port, int ms) {
  // "PORT:/MS\" with ':' '/' '\' percent-encoded.
  return base + "/axis-cgi/io/port.cgi?action=" + std::to_string(port) + "%3A%2F" + std::to_string(ms) + "%5C";
}

Failure WatchInputs(const std::shared_ptr<CancelToken>& cancel, const std::string& base, int port,
                    MonitorState& state, const MonitorHooks& hooks, const MonitorOptions& options) {
  const IoDialect first = state.dialect.value_or(IoDialect::kPortCgi);
  bool opened = false;
  Failure failure = WatchOnce(cancel, MonitorUrl(base, first, port), hooks, options, opened);
  if (opened) state.dialect = first;
  if (!state.dialect && IsNotThere(failure)) {
    // An older camera: no port.cgi, but input.cgi.
    failure = WatchOnce(cancel, MonitorUrl(base, IoDialect::kInputCgi, port), hooks, options, opened);
    if (opened) state.dialect = IoDialect::kInputCgi;
  }
  return failure;
}

Failure PulseOutput(const std::shared_ptr<CancelToken>& cancel, const std::string& base, int port, int ms) {
  const std::string url = PulseUrl(base, port, ms);
  HttpGet get(cancel);
  if (!get.Open(url, kDoorUserAgent, {.max_body_bytes = 64 * 1024, .max_duration_ms = 15000})) {
    return Logged(url, get.Outcome());
  }
  std::string text;
  char buffer[kReadBytes];
  for (size_t n; (n = get.Read(buffer, sizeof buffer)) > 0;) {
    if (text.size() < kReadBytes) text.append(buffer, std::min(n, kReadBytes - text.size()));
  }
  Failure failure = get.Outcome();
  if (failure.failed() || failure.reason == FailureReason::kStopped) return Logged(url, failure);
  const size_t begin = std::min(text.find_first_not_of(" \t\r\n"), text.size());
  const std::string_view answer = std::string_view(text).substr(begin);
  if (AsciiLower(answer.substr(0, 5)) == "error") {
    const std::string_view line = answer.substr(0, std::min(answer.find_first_of("\r\n"), std::min<size_t>(answer.size(), 200)));
    return Logged(url, {FailureReason::kOpenerRefused, get.ResponseCode(), std::string(line)});
  }
  return {};
}

}  // namespace vantorel
