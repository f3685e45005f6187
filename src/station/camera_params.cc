#include "station/camera_params.h"

#include <algorithm>

#include "net/http_get.h"
#include "net/url.h"
#include "runtime/ascii.h"
#include "runtime/version.h"

namespace vantorel {

namespace {

constexpr size_t kMaxParamText = 64 * 1024;
constexpr size_t kMaxParams = 1000;
constexpr const char* kParamUserAgent = "Vantorel/" VANTOREL_VERSION;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

bool Lists(const ParamList& params, const std::string& name, std::string_view item) {
  const auto found = params.find(name);
  if (found == params.end()) return false;
  return AsciiLower(found->second).find(item) != std::string::npos;
}

}  // namespace

ParamList ParseParamList(std::string_view text) {
  ParamList params;
  text = text.substr(0, kMaxParamText);
  while (!text.empty() && params.size() < kMaxParams) {
    const size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0 || line.front() == '#') continue;
    std::string_view name = Trim(line.substr(0, eq));
    if (name.substr(0, 5) == "root.") name.remove_prefix(5);
    if (!name.empty()) params.insert_or_assign(std::string(name), std::string(Trim(line.substr(eq + 1))));
  }
  return params;
}

TalkFormat TalkFormatFromParams(const ParamList& params) {
  const bool newer = std::any_of(params.begin(), params.end(), [](const auto& p) {
    return p.first.rfind("Audio.", 0) == 0 || p.first.rfind("AudioSource.", 0) == 0 ||
           p.first.rfind("Properties.Audio.", 0) == 0;
  });
  if (!newer) return TalkFormat::kDesignMultipart;
  const std::string decoders = "Properties.Audio.Decoder.Format";
  if (params.count(decoders) && !Lists(params, decoders, "g711") && Lists(params, decoders, "g726")) {
    return TalkFormat::kG726;
  }
  return TalkFormat::kMuLaw;
}

Failure FetchCameraParams(const std::string& camera_url, const std::string& groups,
                          const std::shared_ptr<CancelToken>& cancel, ParamList& params,
                          SignInMemory* sign_ins) {
  const std::string url = CameraEndpointUrl(camera_url, "/axis-cgi/param.cgi?action=list&group=" + groups);
  if (url.empty()) return {FailureReason::kCannotConnect, 0, "not a camera URL"};
  HttpGet get(cancel);
  get.RememberSignIns(sign_ins);
  const HttpGetLimits limits{.stall_seconds = 5, .max_body_bytes = kMaxParamText, .max_duration_ms = 10000};
  if (!get.Open(url, kParamUserAgent, limits)) return get.Outcome();
  std::string text;
  char buf[4096];
  while (const size_t n = get.Read(buf, sizeof buf)) text.append(buf, n);
  const Failure failure = get.Outcome();
  if (failure.failed() || failure.reason == FailureReason::kStopped) return failure;
  params = ParseParamList(text);
  return {};
}

}  // namespace vantorel
