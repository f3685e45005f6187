// vantorel-cli probe URL: what the camera speaks, one line each: its sign-in, its picture,
// the sound it sends, the talk it takes, and what Vantorel will use. URL is the camera's
// base (http://host/) or any of its three URLs; credentials in it are used as everywhere.

#include <chrono>
#include <cstdio>
#include <string>

#include "audio_rx/receive_worker.h"
#include "audio_rx/sound_stream.h"
#include "cli/failure_text.h"
#include "commands.h"
#include "image/image_fetch.h"
#include "net/http_get.h"
#include "net/url.h"
#include "settings/camera_urls.h"
#include "station/camera_params.h"
#include "station/status_meaning.h"

namespace vantorel::cli {

namespace {

struct SoundSeen {
  Failure failure;
  std::string content_type;
  bool multipart = false;
  std::string part_type;
  size_t part_bytes = 0;
  long frames = 0;
};

// Listens for about a second: what the stream is and how it is cut.
SoundSeen ProbeSound(const std::string& url) {
  SoundSeen seen;
  HttpGet get;
  if (!get.Open(url, kSpeakerUserAgent, {.stall_seconds = 3, .max_duration_ms = 4000})) {
    seen.failure = get.Outcome();
    return seen;
  }
  char buf[4096];
  size_t n = get.Read(buf, sizeof buf);
  seen.content_type = get.ContentType();
  const long status = get.ResponseCode();
  if (n == 0 || status < 200 || status >= 300) {
    seen.failure = ClassifyFailure(Endpoint::kSound, get.Outcome());
    if (!seen.failure.failed()) seen.failure = {FailureReason::kNotSound, status, "an empty stream"};
    return seen;
  }
  SoundStream stream(seen.content_type);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (n > 0 && std::chrono::steady_clock::now() < until) {
    stream.Feed(std::span(reinterpret_cast<const uint8_t*>(buf), n),
                [&seen](std::span<const int16_t, kFrameSamples>) { ++seen.frames; });
    n = get.Read(buf, sizeof buf);
  }
  seen.multipart = stream.multipart();
  seen.part_type = stream.part_type();
  seen.part_bytes = stream.part_bytes();
  if (seen.frames == 0) {
    seen.failure = {FailureReason::kNotSound, status,
                    "the camera sends " + (stream.foreign_type().empty() ? std::string("no sound parts")
                                                                        : stream.foreign_type())};
  }
  return seen;
}

const char* FormatName(TalkFormat format) {
  switch (format) {
    case TalkFormat::kMuLaw:
      return "audio/basic (G.711 mu-law), singlepart, real time";
    case TalkFormat::kG726:
      return "audio/G726-32, singlepart, real time";
    case TalkFormat::kDesignMultipart:
      break;
  }
  return "audio/32KADPCM in multipart parts of 200 bytes";
}

}  // namespace

int RunProbe(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fputs("usage: vantorel-cli probe URL\n", stderr);
    return 2;
  }
  const std::string base = argv[1];
  const std::string image_url = CameraEndpointUrl(base, kImagePath);
  if (image_url.empty()) {
    std::fprintf(stderr, "vantorel-cli: not a camera URL: %s\n", RedactUrl(base).c_str());
    return FailureExitCode(FailureReason::kCannotConnect);
  }

  // The picture, and with it the sign-in (the first request the camera sees).
  HttpSession session;
  ImageBitmap picture;
  Failure picture_failure;
  std::string offered;
  {
    HttpGet get(session);
    if (get.Open(image_url, kImageUserAgent, kStillLimits)) {
      char buf[4096];
      while (get.Read(buf, sizeof buf) > 0) {
      }
    }
    offered = get.SignInOffered();
    picture_failure = ClassifyFailure(Endpoint::kPicture, get.Outcome());
  }
  if (picture_failure.reason == FailureReason::kCannotConnect || picture_failure.reason == FailureReason::kNoAnswer ||
      picture_failure.reason == FailureReason::kSignInRefused) {
    std::fprintf(stderr, "vantorel-cli: %s\n", DescribeFailure(picture_failure, true).c_str());
    return FailureExitCode(picture_failure.reason);
  }
  std::printf("sign-in:   %s\n", offered.empty() ? "none asked for" : offered.c_str());
  if (!picture_failure.failed()) {
    picture_failure = ClassifyFailure(Endpoint::kPicture,
                                      FetchHttpJpeg(image_url, picture, {.cancel = nullptr, .session = &session,
                                                                         .buffer = nullptr, .on_frame = {}}));
  }
  ParamList params;
  const Failure params_failure = FetchCameraParams(base, "Audio,AudioSource,Properties.Audio,Properties.Image",
                                                   nullptr, params);
  const auto param = [&params](const char* name) {
    const auto found = params.find(name);
    return found == params.end() ? std::string() : found->second;
  };
  if (picture_failure.failed()) {
    std::printf("picture:   none (%s)\n", DescribeFailure(picture_failure, true).c_str());
  } else {
    std::printf("picture:   still, %dx%d, %s\n", picture.width, picture.height, RedactUrl(image_url).c_str());
  }
  const std::string image_formats = param("Properties.Image.Format");
  const bool mjpeg = image_formats.find("mjpeg") != std::string::npos;
  if (mjpeg) {
    std::printf("stream:    MJPEG offered: %s\n",
                RedactUrl(CameraEndpointUrl(base, "/axis-cgi/mjpg/video.cgi?resolution=320x240")).c_str());
  }

  const SoundSeen sound = ProbeSound(CameraEndpointUrl(base, kReceivePath));
  if (sound.failure.failed()) {
    std::printf("listen:    %s\n", DescribeFailure(sound.failure, true).c_str());
  } else {
    std::printf("listen:    %s, %s", sound.content_type.c_str(), sound.multipart ? "multipart" : "singlepart");
    if (sound.multipart) std::printf(", parts of %s, %zu bytes", sound.part_type.c_str(), sound.part_bytes);
    std::printf("\n");
  }

  const TalkFormat talk = params_failure.failed() ? TalkFormat::kDesignMultipart : TalkFormatFromParams(params);
  if (params_failure.failed()) {
    std::printf("talk:      the design's dialect (param.cgi: %s)\n",
                params_failure.reason == FailureReason::kErrorStatus
                    ? ("HTTP " + std::to_string(params_failure.http_status)).c_str()
                    : DescribeFailure(params_failure).c_str());
  } else {
    std::printf("talk:      %s; the camera decodes %s, duplex %s\n", FormatName(talk),
                param("Properties.Audio.Decoder.Format").empty() ? "(unsaid)"
                                                                  : param("Properties.Audio.Decoder.Format").c_str(),
                param("Audio.DuplexMode").empty() ? "(unsaid)" : param("Audio.DuplexMode").c_str());
  }
  std::printf("Vantorel:  picture from %s; listens to what the camera sends; talks in %s\n",
              mjpeg ? "stills (the MJPEG stream URL above works too)" : "stills", FormatName(talk));
  return 0;
}

}  // namespace vantorel::cli
