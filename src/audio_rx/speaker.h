#pragma once
// Starting and stopping the receive worker (receive_worker.h), the thread that plays the
// camera's sound. The window calls these on its thread; any thread may.
//
// SpeakerRunning is 1 from a start until the next stop request, and only a stop request
// clears it: when a session ends by itself (the stream ended, the camera could not be
// reached) the flag stays 1 and StartSpeaker refuses until a stop request has cleared it.
//
// At most one worker is ever active. Each stop cancels the stream of the worker it stops,
// so a stopped worker ends within milliseconds even while the camera sends nothing; a
// start that comes while it is still ending begins the new worker's session only once the
// previous worker has ended, without making the caller wait for that.

#include <chrono>
#include <optional>

#include "audio_rx/receive_worker.h"

namespace vantorel {

// If SpeakerRunning is set: returns 0 and does nothing. Otherwise sets it and starts a
// worker that runs ReceiveWorker with `sink` (playback on the default output device when
// none is given); returns 1, or 0 with the flag cleared when no thread can be created.
int StartSpeaker();
int StartSpeaker(FrameSink sink);

// Clears SpeakerRunning and cancels the worker's stream; returns at once. The worker then
// ends within its current step.
void RequestSpeakerStop();

// RequestSpeakerStop, then waits at most 1000 ms for the worker to end.
void StopSpeaker();

// The flag: true from a start until the next stop request.
bool SpeakerRunning();

// Waits at most `limit` for the latest worker to end and returns its exit code (0 after a
// normal end, -1 after a failed start); nullopt while it still runs, or when none was
// ever started.
std::optional<int> WaitSpeakerEnd(std::chrono::milliseconds limit);

// For program shutdown, before the playback teardown: stops the worker if needed and
// waits without a time limit until every worker thread has ended, so that none outlives
// the playback state or anything else torn down after this.
void JoinSpeaker();

}  // namespace vantorel
