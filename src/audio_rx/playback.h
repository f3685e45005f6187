#pragma once
// Playback of the camera's sound. Decoded frames (50 ms, 400 samples each) are collected two by two into play blocks
// of 800 samples (100 ms); each block goes to the output as a piece of its own as soon as
// the frame after it begins. When the output falls behind, a block with q pieces still
// waiting there loses q*(q+1) samples, and with 28 or more waiting it is dropped, so that
// the delay of the sound stays bounded.
//
// Used by the listen worker's thread only, one session at a time:
//   OpenSession()          before the first frame; false ends the session
//   TakeFrame(samples)     for every frame of the stream, decoded
//   CloseSession()         at the end (also after a failed open: harmless)
// Counters() may be read from any thread, and so may SetDucked().
//
// Every block handed to the output is also written to the far end (when given), the talk's
// echo canceller's reference: the samples as played, ducking included.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "sound_io/audio_output.h"
#include "sound_io/far_end_ring.h"

namespace vantorel {

constexpr int kFrameBytes = 200;          // one G.726 32 kbit/s frame, 50 ms
constexpr int kFrameSamples = 400;
constexpr int kPlayBlockSamples = 800;    // two frames
constexpr int kPlaybackDropAt = 28;       // waiting pieces at which a block is dropped
constexpr int kDuckDb = 20;               // how much softer the sound plays while ducked

// A snapshot of the counters, for diagnostics and tests.
struct PlaybackCounters {
  uint32_t decoded_blocks;     // blocks filled
  uint32_t queued_blocks;      // blocks handed on: written, dropped at 28, or failed
  uint32_t blocks_written;     // blocks written to the output
  uint32_t blocks_dropped;     // of queued_blocks: dropped with 28 or more waiting
  uint32_t blocks_failed;      // of queued_blocks: not written (the output refused)
};

class Playback {
 public:
  explicit Playback(FarEndRing* far_end = nullptr) : far_end_(far_end) {}

  // Any thread: the camera's sound kDuckDb softer (true) or as it comes, from the next block
  // handed on.
  void SetDucked(bool ducked) { ducked_.store(ducked, std::memory_order_relaxed); }
  bool ducked() const { return ducked_.load(std::memory_order_relaxed); }

  // Starts a session: counters to 0, opens the output (`open`, SDL's by default). False,
  // with the reason in `error`, when the output does not open or a session is open.
  bool OpenSession(const AudioOutputOpener& open, std::string& error);
  bool OpenSession(const AudioOutputOpener& open = OpenSdlAudioOutput);

  // Frame intake for one decoded frame of kFrameSamples: first hands the last completed
  // block to the output if it has not been handed on yet, then copies the frame into the
  // current half of the current block. Nothing is played before the third frame of a session.
  void TakeFrame(std::span<const int16_t, kFrameSamples> samples);

  // Ends the session: closes the output; what it still held is not played. No-op when no
  // session is open.
  void CloseSession();

  PlaybackCounters Counters() const;

 private:
  void SubmitBlock();

  // Guards the counters; the blocks and the output belong to the worker's thread.
  mutable std::mutex mutex_;
  PlaybackCounters counters_{};
  std::array<std::array<int16_t, kPlayBlockSamples>, 2> blocks_{};  // block c in blocks_[c & 1]
  int next_half_ = 0;  // which half of the current block the next frame fills
  std::unique_ptr<AudioOutput> output_;
  FarEndRing* const far_end_;
  std::atomic<bool> ducked_{false};
};

}  // namespace vantorel
