#include "runtime/failure.h"

namespace vantorel {

const char* FailureName(FailureReason reason) {
  switch (reason) {
    case FailureReason::kNone:
      return "none";
    case FailureReason::kStopped:
      return "stopped";
    case FailureReason::kCannotConnect:
      return "cannot-connect";
    case FailureReason::kNoAnswer:
      return "no-answer";
    case FailureReason::kConnectionLost:
      return "connection-lost";
    case FailureReason::kErrorStatus:
      return "error-status";
    case FailureReason::kSignInRefused:
      return "sign-in-refused";
    case FailureReason::kUnsafeSignIn:
      return "unsafe-sign-in";
    case FailureReason::kNotFound:
      return "not-found";
    case FailureReason::kCameraBusy:
      return "camera-busy";
    case FailureReason::kNotAPicture:
      return "not-a-picture";
    case FailureReason::kNotSound:
      return "not-sound";
    case FailureReason::kTalkRefused:
      return "talk-refused";
    case FailureReason::kNoCallButton:
      return "no-call-button";
    case FailureReason::kOpenerRefused:
      return "opener-refused";
    case FailureReason::kNoAudioDevice:
      return "no-audio-device";
    case FailureReason::kTooMuchData:
      return "too-much-data";
    case FailureReason::kTooSlow:
      return "too-slow";
    case FailureReason::kLocalFailure:
      return "local-failure";
  }
  return "unknown";
}

}  // namespace vantorel
