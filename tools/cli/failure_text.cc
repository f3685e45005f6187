#include "cli/failure_text.h"

#include <array>
#include <cstdio>

namespace vantorel::cli {

namespace {

struct ReasonInfo {
  FailureReason reason;
  const char* text;
  int exit_code;
};

constexpr std::array<ReasonInfo, 19> kReasons{{
    {FailureReason::kNone, "no failure", 0},
    {FailureReason::kStopped, "stopped", 0},
    {FailureReason::kCannotConnect, "cannot connect to the camera", 10},
    {FailureReason::kNoAnswer, "the camera does not answer", 11},
    {FailureReason::kConnectionLost, "the connection to the camera was lost", 12},
    {FailureReason::kSignInRefused, "sign-in refused: check the user name and password in the camera URL", 13},
    {FailureReason::kUnsafeSignIn,
     "the camera asked for an unprotected sign-in (Basic) after Digest had worked; refused", 13},
    {FailureReason::kNotFound, "not found: check the path in the camera URL", 14},
    {FailureReason::kCameraBusy, "the camera is busy", 15},
    {FailureReason::kNotAPicture, "the camera did not send a picture", 16},
    {FailureReason::kNotSound, "the camera did not send sound", 17},
    {FailureReason::kTalkRefused, "the camera refused the talk", 18},
    {FailureReason::kNoAudioDevice, "no audio device could be opened", 19},
    {FailureReason::kTooMuchData, "the camera sent too much", 20},
    {FailureReason::kTooSlow, "the camera is too slow", 21},
    {FailureReason::kNoCallButton, "the camera does not report the call button's input", 22},
    {FailureReason::kOpenerRefused, "the camera did not switch the door opener's output", 23},
    {FailureReason::kErrorStatus, "the camera answered with an error", 1},
    {FailureReason::kLocalFailure, "this computer could not do its part", 1},
}};

const ReasonInfo& Info(FailureReason reason) {
  for (const ReasonInfo& info : kReasons) {
    if (info.reason == reason) return info;
  }
  return kReasons[0];
}

}  // namespace

const char* FailureText(FailureReason reason) { return Info(reason).text; }
int FailureExitCode(FailureReason reason) { return Info(reason).exit_code; }

std::string DescribeFailure(const Failure& failure, bool with_detail) {
  std::string line = FailureText(failure.reason);
  if (failure.http_status != 0) {
    const std::string status = "(HTTP " + std::to_string(failure.http_status) + ")";
    // The status goes right after the reason's first words, before any advice.
    const size_t colon = line.find(':');
    line = colon == std::string::npos ? line + " " + status : line.substr(0, colon) + " " + status + line.substr(colon);
  }
  if (with_detail && !failure.detail.empty()) line += " (" + failure.detail + ")";
  return line;
}

void PrintExitCodes(std::FILE* out) {
  for (const ReasonInfo& info : kReasons) {
    if (info.exit_code >= 10 && info.reason != FailureReason::kUnsafeSignIn) {
      std::fprintf(out, "  %2d  %s\n", info.exit_code, info.text);
    }
  }
}

}  // namespace vantorel::cli
