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
#include <string>

#include "audio_tx/capture_ring.h"
#include "audio_tx/transmit_body.h"
#include "runtime/failure.h"
#include "runtime/stoppable_worker.h"

namespace vantorel {

inline constexpr const char* kTransmitUserAgent = "Halvicor Microphone Write.";
// How long the job waits for the camera's answer after the last part: the usual end (a
// camera that answers only when the body ends) comes before the stopper cancels.
inline constexpr std::chrono::milliseconds kTransmitAnswerWait{800};
inline constexpr std::chrono::milliseconds kTransmitCancelAfter{900};

// How one talk's request went, for diagnostics and vantorel-cli.
struct TransmitReport {
  bool opened = false;    // the transmit URL was usable (http:// or https://)
  bool sent = false;      // the request head reached the camera
  int writes = 0;         // body pieces written
  int failed_writes = 0;  // of which libcurl could not take the whole piece
  long answer = 0;        // the camera's status code; 0 when it did not answer
  std::string error;      // the first failure, one line; empty when there was none
  Failure failure;        // the first failure, classified
  // The camera took the talk: the head went out, every piece was taken, and the answer,
  // if any, was a success.
  bool Succeeded() const { return opened && sent && failed_writes == 0 && error.empty() && answer < 300; }
};

// Runs one talk on the calling thread (the talk worker). Reports kConnecting, kRunning
// once the request head is out, kFailed with the first failure.
TransmitReport RunTransmit(WorkerContext& context, CaptureRing& ring, const std::string& url,
                           TransmitBodyOptions options = {});

}  // namespace vantorel
