#include "station/status_meaning.h"

namespace vantorel {

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
    case Endpoint::kButton:
      return FailureReason::kNoCallButton;
    case Endpoint::kOpener:
      return FailureReason::kOpenerRefused;
  }
  return FailureReason::kNotAPicture;
}

Failure ClassifyFailure(Endpoint endpoint, Failure failure) {
  if (failure.reason == FailureReason::kErrorStatus) {
    const FailureReason meaning = ReasonForStatus(failure.http_status, endpoint);
    // A 2xx status never comes as an error; should one, it is still no success.
    failure.reason = meaning != FailureReason::kNone ? meaning : ReasonForStatus(0, endpoint);
  }
  return failure;
}

}  // namespace vantorel
