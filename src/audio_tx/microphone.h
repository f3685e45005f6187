#pragma once
// The microphone: keeps 64 buffers queued on the input device and stores every buffer it
// returns in the capture ring (capture_ring.h). Everything here runs on the window thread;
// the device's notifications arrive there through the host.

#include <memory>

#include "platform/audio_input.h"

namespace vantorel {

// The open input device, owned by the main window's state; null while closed.
using MicrophoneHandle = std::unique_ptr<AudioInput>;

// Opens the input device (8000 Hz mono 16-bit) with notifications routed to
// OnOpenMicrophone and OnDataMicrophone. On success sets the write slot and the consumed
// count to 0 and returns true. On failure shows the error text in a box captioned
// "waveInOpen", closes a device that the failed open returned anyway, and returns false.
// `open` is the device layer's opener (SDL's by default; tests pass a double).
bool OpenMicrophone(MicrophoneHandle& handle, const AudioInputOpener& open = OpenSdlAudioInput);

// The open notification: queues buffers 0 to 63 (RequeueCaptureHeader each) and starts
// recording. Returns 0, or the result of the first step that failed (the buffers queued
// before it stay with the device; recording is not started). The notification routing of
// OpenMicrophone shows a non-zero result in a box captioned "OnOpenMicrophone".
int OnOpenMicrophone(AudioInput* device);

// The data notification for one returned buffer: stores it in the ring, releases it,
// queues a fresh one with the same buffer number, and shows a failed release in a box
// captioned "OnDataMicrophone". A buffer handed back by a reset, or arriving after the
// device was closed (`device` null), is only freed: it is neither stored nor requeued.
void OnDataMicrophone(AudioInput* device, AudioBuffer* header);

// Fills `header` for buffer `number`: a fresh zero-filled 764-byte data block (null when
// it cannot be allocated), length 764, nothing recorded, user value `number`, loops 1.
void MakeCaptureHeader(AudioBuffer* header, int number);

// Unprepares `header` and frees it and its data block whatever the unprepare returned;
// returns the unprepare result.
int ReleaseCaptureHeader(AudioInput* device, AudioBuffer* header);

// Allocates, prepares and queues a fresh buffer `number`. Returns 0; AUDIO_NO_MEMORY when
// an allocation fails; or the failed prepare or queue result, after giving the buffer up.
int RequeueCaptureHeader(AudioInput* device, int number);

// Frees a header made by MakeCaptureHeader and its data block (null is fine).
void FreeCaptureHeader(AudioBuffer* header);

// Resets the device, which hands every queued buffer back, then closes it; clears
// `handle` only when the close succeeds, and returns the close result. A null handle is
// left alone and gives 0.
int CloseMicrophone(MicrophoneHandle& handle);

}  // namespace vantorel
