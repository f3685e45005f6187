#include "camsim/firmware_current.h"

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "camsim/server.h"

namespace vantorel::camsim {

std::optional<Firmware> ParseFirmware(std::string_view name) {
  if (name == "design") return Firmware::kDesign;
  if (name == "current") return Firmware::kCurrent;
  return std::nullopt;
}

std::optional<Duplex> ParseDuplex(std::string_view name) {
  if (name == "full") return Duplex::kFull;
  if (name == "half") return Duplex::kHalf;
  if (name == "listen") return Duplex::kListen;
  if (name == "talk") return Duplex::kTalk;
  return std::nullopt;
}

const char* DuplexParameter(Duplex duplex) {
  switch (duplex) {
    case Duplex::kFull:
      return "full";
    case Duplex::kHalf:
      return "half";
    case Duplex::kListen:
      return "get";  // the camera's microphone only
    case Duplex::kTalk:
      return "post";  // the camera's loudspeaker only
  }
  return "full";
}

std::optional<uint64_t> EffectiveBodyLimit(const CurrentOptions& options) {
  if (options.body_limit) return options.body_limit;
  if (options.firmware == Firmware::kCurrent) return kCurrentBodyLimit;
  return std::nullopt;
}

bool DrainBody(Context& context, const httplib::ContentReader& read) {
  return read([&context](const char*, size_t) { return !context.Stopping(); });
}

void AnswerAndClose(httplib::Response& res, int status, std::string body, const char* content_type) {
  res.status = status;
  if (!res.has_header("Connection")) res.set_header("Connection", "close");
  res.set_header("Content-Length", std::to_string(body.size()));
  // A provider without a length that fails after its body makes httplib close the connection.
  auto text = std::make_shared<const std::string>(std::move(body));
  res.set_content_provider(content_type, [text](size_t, httplib::DataSink& sink) {
    sink.write(text->data(), text->size());
    return false;
  });
}

void ApplyWebServerBehaviours(httplib::Server& http, Context& context) {
  const std::optional<uint64_t> limit = EffectiveBodyLimit(context.options().current);
  if (!limit) return;
  http.set_pre_routing_handler([&context, limit = *limit](const httplib::Request& req, httplib::Response& res) {
    if (!req.has_header("Content-Length")) return httplib::Server::HandlerResponse::Unhandled;
    const std::string text = req.get_header_value("Content-Length");
    char* end = nullptr;
    errno = 0;
    const unsigned long long declared = std::strtoull(text.c_str(), &end, 10);
    // A length that does not parse is left to the HTTP layer (400); one too big to parse is too large.
    const bool too_large = (errno == ERANGE) || (end != text.c_str() && *end == '\0' && declared > limit);
    if (!too_large) return httplib::Server::HandlerResponse::Unhandled;
    context.UpdateStats([](Stats& s) { ++s.current.too_large; });
    // The body is never read: the connection must not carry it as the next request.
    res.status = 413;
    res.set_header("Connection", "close");
    res.set_content("<html><body><h1>413 Request Entity Too Large</h1></body></html>", "text/html");
    return httplib::Server::HandlerResponse::Handled;
  });
}

void RegisterCurrentEndpoints(httplib::Server& http, Context& context) {
  // A talk ends after the receiver timeout without data: every read on a connection waits
  // that long at most.
  const auto timeout = std::chrono::duration_cast<std::chrono::microseconds>(context.options().current.receiver_timeout);
  http.set_read_timeout(timeout.count() / 1000000, timeout.count() % 1000000);
  auto speaker = std::make_shared<CurrentSpeaker>();
  RegisterCurrentAudioEndpoint(http, context, speaker);
  RegisterCurrentTalkEndpoint(http, context, speaker);
  RegisterParamEndpoint(http, context);
}

}  // namespace vantorel::camsim
