#include "runtime/failure.h"

#include <array>

namespace vantorel {

namespace {

struct ReasonInfo {
  FailureReason reason;
  const char* name;
  const char* text;
  int exit_code;
};

constexpr std::array<ReasonInfo, 14> kReasons{{
    {FailureReason::kNone, "none", "no failure", 0},
    {FailureReason::kStopped, "stopped", "stopped", 0},
    {FailureReason::kCannotConnect, "cannot-connect", "cannot connect to the camera", 10},
    {FailureReason::kNoAnswer, "no-answer", "the camera does not answer", 11},
    {FailureReason::kConnectionLost, "connection-lost", "the connection to the camera was lost", 12},
    {FailureReason::kSignInRefused, "sign-in-refused",
     "sign-in refused: check the user name and password in the camera URL", 13},
    {FailureReason::kNotFound, "not-found", "not found: check the path in the camera URL", 14},
    {FailureReason::kCameraBusy, "camera-busy", "the camera is busy", 15},
    {FailureReason::kNotAPicture, "not-a-picture", "the camera did not send a picture", 16},
    {FailureReason::kNotSound, "not-sound", "the camera did not send sound", 17},
    {FailureReason::kTalkRefused, "talk-refused", "the camera refused the talk", 18},
    {FailureReason::kNoAudioDevice, "no-audio-device", "no audio device could be opened", 19},
    {FailureReason::kTooMuchData, "too-much-data", "the camera sent too much", 20},
    {FailureReason::kTooSlow, "too-slow", "the camera is too slow", 21},
}};

const ReasonInfo& Info(FailureReason reason) {
  for (const ReasonInfo& info : kReasons) {
    if (info.reason == reason) return info;
  }
  return kReasons[0];
}

}  // namespace

const char* FailureName(FailureReason reason) { return Info(reason).name; }
const char* FailureText(FailureReason reason) { return Info(reason).text; }
int FailureExitCode(FailureReason reason) { return Info(reason).exit_code; }

std::string DescribeFailure(const Failure& failure) {
  const std::string text = FailureText(failure.reason);
  if (failure.http_status == 0) return text;
  const std::string status = "(HTTP " + std::to_string(failure.http_status) + ")";
  // The status goes right after the reason's first words, before any advice.
  const size_t colon = text.find(':');
  if (colon == std::string::npos) return text + " " + status;
  return text.substr(0, colon) + " " + status + text.substr(colon);
}

FailureReason ReasonForStatus(long status, Endpoint endpoint) {
  if (status >= 200 && status < 300) return FailureReason::kNone;
  if (status == 401 || status == 403) return FailureReason::kSignInRefused;
  if (status == 404) return FailureReason::kNotFound;
  if (status == 503) return FailureReason::kCameraBusy;
  switch (endpoint) {
    case Endpoint::kPicture:
      return FailureReason::kNotAPicture;
    case Endpoint::kSound:
      return FailureReason::kNotSound;
    case Endpoint::kTalk:
      return FailureReason::kTalkRefused;
  }
  return FailureReason::kNotAPicture;
}

}  // namespace vantorel
