#pragma once
// Playback of the camera's sound. Decoded frames are collected two by two into play blocks
// of 800 samples (100 ms); each block goes to the output device as a buffer of its own as
// soon as the frame after it begins. When the device falls behind, a block with q buffers
// still waiting loses q*(q+1) samples, and with 28 or more waiting it is dropped, so that
// the delay of the sound stays bounded.
//
// The receive worker's interface, all on its thread, one session at a time:
//   OpenPlaybackSession()            before the first frame; false ends the session
//   TakePlaybackFrame(frame, decode) for every 200-byte frame found in the stream
//   ClosePlaybackSession()           at the end (also after a failed open: harmless)
// PlaybackSetup()/PlaybackTeardown() run once per program around all sessions (the
// program's audio set-up calls them).

#include <cstdint>
#include <functional>

#include "platform/audio_output.h"

namespace vantorel {

constexpr int kFrameBytes = 200;          // one G.726 32 kbit/s frame, 50 ms
constexpr int kFrameSamples = 400;
constexpr int kPlayBlockSamples = 800;    // two frames
constexpr int kPlaybackDropAt = 28;       // waiting buffers at which a block is dropped

// At program start: the two zero-filled play blocks. False when they cannot be allocated
// (nothing is kept then).
bool PlaybackSetup();
// At program end, after the last session: frees the play blocks.
void PlaybackTeardown();

// Decodes `length` bytes of a frame into `out` and returns the number of samples written,
// 2 * length for G.726 32 kbit/s. The receive worker passes its own decoder state with
// it, e.g. [&state](int16_t* out, const uint8_t* in, int n) {
//   return g726_decode_block(out, in, n, &state); }.
using FrameDecoder = std::function<int(int16_t* out, const uint8_t* bytes, int length)>;

// Starts a session: block and buffer counters to 0, opens the output device (`open`,
// SDL's by default) with OnWaveOutDone as its callback, saves the device's volume and
// sets it to full. False when the device does not open, when PlaybackSetup has not run,
// or when a session is already open; the volume is then left alone.
bool OpenPlaybackSession(const AudioOutputOpener& open = OpenSdlAudioOutput);

// Frame intake for one frame of kFrameBytes: first hands the last completed block to the
// device if it has not been handed on yet, then decodes the frame into the current half
// of the current block. Nothing is played before the third frame of a session.
void TakePlaybackFrame(const uint8_t* frame, const FrameDecoder& decode);

// Ends the session: restores the saved volume and closes the device, which hands every
// buffer still queued back to OnWaveOutDone (they are not played out). No-op when no
// session is open.
void ClosePlaybackSession();

// The output device's callback (its own thread): counts each DONE in BuffersDone and frees
// the buffer, when one is given. Other messages are ignored.
void OnWaveOutDone(AudioOutput* device, AudioOutputMessage message, AudioBuffer* header);

// A snapshot of the counters, for diagnostics and tests.
struct PlaybackCounters {
  uint32_t decoded_blocks;     // blocks filled
  uint32_t queued_blocks;      // blocks handed on: submitted, dropped at 28, or failed
  uint32_t buffers_submitted;  // buffers written to the device
  uint32_t buffers_done;       // buffers the device has handed back
  uint32_t blocks_dropped;     // of queued_blocks: dropped with 28 or more waiting
  uint32_t blocks_failed;      // of queued_blocks: not submitted (no memory, device refused)
};
PlaybackCounters GetPlaybackCounters();

}  // namespace vantorel
