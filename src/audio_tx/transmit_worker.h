#pragma once
// The talk worker's job: one POST request to the transmit URL with the agent
// "Halvicor Microphone Write.", a practically endless announced body, and the body of
// transmit_body.h until the talk is stopped (TransmitState::kStop in the ring). A camera
// that cannot be reached, or that drops the connection, only makes the writes fail: the
// job goes on taking captured buffers until the stop, and reports the failure.
//
// A stop: the station sets kStop in the ring, then asks the worker to stop with a grace of
// kTransmitCancelAfter, so that the camera's answer (waited for kTransmitAnswerWait after
// the last part) can still arrive; only a request still unanswered then is cancelled.

#include <chrono>
#include <functional>
#include <string>

#include "audio_tx/capture_ring.h"
#include "audio_tx/transmit_body.h"
#include "runtime/failure.h"
#include "runtime/stoppable_worker.h"

namespace vantorel {

inline constexpr const char* kTransmitUserAgent = "Halvicor Microphone Write.";
// How long the job waits for the camera's answer after the last part: the usual end (a
// camera that answers only when the body ends) comes before the stopper cancels.
inline constexpr std::chrono::milliseconds kTransmitAnswerWait{600};
inline constexpr std::chrono::milliseconds kTransmitCancelAfter{700};

// How one talk's request went, for the station and vantorel-cli.
struct TransmitReport {
  bool sent = false;  // the request head reached the camera
  int parts = 0;      // sound parts the camera took
  long answer = 0;    // the camera's status code; 0 when it did not answer
  Failure failure;    // the first failure (an error status as kErrorStatus); none when all went
  // The camera took the talk: the head went out, every piece was taken, and the answer,
  // if any, was a success.
  bool Succeeded() const { return sent && !failure.failed(); }
};

// Told of a talk's first failure as it happens (the request may go on until the stop).
using TalkFailed = std::function<void(const Failure&)>;

// Runs one talk on the calling thread (the talk worker). Reports kConnecting, and kRunning
// once the request head is out; `failed`, when given, hears the first failure at once.
TransmitReport RunTransmit(WorkerContext& context, CaptureRing& ring, const std::string& url,
                           TransmitBodyOptions options = {}, const TalkFailed& failed = {});

}  // namespace vantorel
