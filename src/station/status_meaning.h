#pragma once
// What a camera's answer means for each of its endpoints: a 401 is a refused sign-in
// everywhere, but another error status is "no picture" for a still, "no sound" for the
// sound stream and "talk refused" for a talk.

#include "runtime/failure.h"

namespace vantorel {

// kButton: the ports' monitor stream (the call button); kOpener: pulsing the door opener.
enum class Endpoint { kPicture, kSound, kTalk, kButton, kOpener };

// What a final HTTP status means for a request to `endpoint`: kNone for 2xx.
FailureReason ReasonForStatus(long status, Endpoint endpoint);

// `failure` with an error status (kErrorStatus) turned into what it means for `endpoint`;
// any other failure as it is.
Failure ClassifyFailure(Endpoint endpoint, Failure failure);

}  // namespace vantorel
