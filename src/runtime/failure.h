#pragma once
// Why a job did not give what it was for: one classification, made once where the job ends
// and carried, unchanged, to whoever shows it. The texts are made where they are shown: the
// window's status lines (app/status_text), vantorel-cli's messages and exit codes
// (tools/cli/failure_text).

#include <string>

namespace vantorel {

enum class FailureReason {
  kNone,             // nothing went wrong (or nothing has happened yet)
  kStopped,          // ended by a stop request: no fault, nothing to show
  kCannotConnect,    // no connection: refused, unreachable, unknown host, unusable URL
  kNoAnswer,         // connected, but no answer came (timeout, stall, closed or reset before an answer)
  kConnectionLost,   // the answer had begun when the connection broke or stalled
  kErrorStatus,      // the camera answered with a status that is no success; the station says
                     // what it means for the endpoint (ClassifyFailure in station/)
  kSignInRefused,    // 401 or 403: wrong or missing user name and password
  kUnsafeSignIn,     // the camera asked for Basic (the password readable) after Digest had
                     // worked: refused
  kNotFound,         // 404: wrong path
  kCameraBusy,       // 503
  kNotAPicture,      // a still that is no usable picture: another status, another content
  kNotSound,         // a sound stream that is no sound: another status
  kTalkRefused,      // the talk was answered with another status than 2xx, 401, 403, 404, 503
  kNoCallButton,     // the call button's input cannot be watched: another status, or no monitor stream
  kOpenerRefused,    // the door opener's output was not pulsed: another status, or the camera's error text
  kNoAudioDevice,    // the sound output or the microphone did not open
  kTooMuchData,      // the camera sent more than the bounds allow (body, headers, trailers)
  kTooSlow,          // the answer did not complete within its time bound
  kLocalFailure,     // this computer could not do its part: memory, a thread, a library handle
};

// A classified outcome. `http_status` is the camera's last status code (0 when none came);
// `detail` is one line for logs and the command line (libcurl's text and the like), never
// holding a password.
struct Failure {
  FailureReason reason = FailureReason::kNone;
  long http_status = 0;
  std::string detail;

  bool failed() const { return reason != FailureReason::kNone && reason != FailureReason::kStopped; }
  bool operator==(const Failure&) const = default;
};

// A short stable name for logs and tests: "cannot-connect", "sign-in-refused", ...
const char* FailureName(FailureReason reason);

}  // namespace vantorel
