#pragma once
// Why a request to the camera did not give what it was for: one classification, made once
// where the request ends, and read by every caller (the workers' states, the window's status
// line, vantorel-cli's message and exit code, the log).

#include <string>

namespace vantorel {

enum class FailureReason {
  kNone,             // nothing went wrong (or nothing has happened yet)
  kStopped,          // ended by a stop request: no fault, nothing to show
  kCannotConnect,    // no connection: refused, unreachable, unknown host, unusable URL
  kNoAnswer,         // connected, but no answer came (timeout, stall, closed or reset before an answer)
  kConnectionLost,   // the answer had begun when the connection broke or stalled
  kSignInRefused,    // 401 or 403: wrong or missing user name and password
  kNotFound,         // 404: wrong path
  kCameraBusy,       // 503
  kNotAPicture,      // a still that is no usable picture: another status, another content
  kNotSound,         // a sound stream that is no sound: another status
  kTalkRefused,      // the talk was answered with another status than 2xx, 401, 403, 404, 503
  kNoAudioDevice,    // the sound output or the microphone did not open
  kTooMuchData,      // the camera sent more than the bounds allow (body, headers, trailers)
  kTooSlow,          // the answer did not complete within its time bound
};

// What a request was for; it decides what an unexpected status means.
enum class Endpoint { kPicture, kSound, kTalk };

// A classified outcome. `http_status` is the camera's last status code (0 when none came);
// `detail` is one line for logs (libcurl's text and the like), never holding a password.
struct Failure {
  FailureReason reason = FailureReason::kNone;
  long http_status = 0;
  std::string detail;

  bool failed() const { return reason != FailureReason::kNone && reason != FailureReason::kStopped; }
};

// A short stable name for logs and tests: "cannot-connect", "sign-in-refused", ...
const char* FailureName(FailureReason reason);
// One English line for vantorel-cli: "cannot connect to the camera", ...
const char* FailureText(FailureReason reason);
// The exit status vantorel-cli ends with for `reason`: 0 for none and stopped, otherwise a
// distinct value from 10 up (1 and 2 stay the generic error and the usage error).
int FailureExitCode(FailureReason reason);
// One line for the command line tools: the text, then the HTTP status when there was one,
// e.g. "sign-in refused (HTTP 401): check the user name and password in the camera URL".
std::string DescribeFailure(const Failure& failure);

// What a final HTTP status means for a request to `endpoint`: kNone for 2xx.
FailureReason ReasonForStatus(long status, Endpoint endpoint);

}  // namespace vantorel
