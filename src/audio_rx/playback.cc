#include "audio_rx/playback.h"

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "codec/fit_sample_count.h"
#include "platform/log.h"

namespace vantorel {

namespace {

struct FreeDeleter {
  void operator()(int16_t* p) const { std::free(p); }
};

// Taken by the receive worker around the decode and every read or write of the block and
// buffer counters (BuffersDone aside); never while the device is called.
std::mutex PlaybackLock;
std::unique_ptr<int16_t, FreeDeleter> PlayBlocks[2];
// Block c lives in PlayBlocks[c & 1]. Unsigned: they may wrap, only differences count.
uint32_t DecodedBlocks = 0;
uint32_t QueuedBlocks = 0;
int g_next_half = 0;  // which half of the current block the next frame fills
uint32_t BuffersSubmitted = 0;
// Written by the device's thread.
std::atomic<uint32_t> BuffersDone{0};
uint32_t g_blocks_dropped = 0;
uint32_t g_blocks_failed = 0;

// Per session, receive worker only.
std::unique_ptr<AudioOutput> g_device;
AudioBuffer g_template{};
uint32_t g_saved_volume = kAudioFullVolume;

// Counts a block as handed on without playing it.
void SkipBlock(uint32_t& reason) {
  std::lock_guard lock(PlaybackLock);
  ++QueuedBlocks;
  ++reason;
}

// Hands block number QueuedBlocks to the device, shortened by q*(q+1) samples with q
// buffers still waiting there, or drops it at 28 waiting.
void SubmitPlayBlock() {
  uint32_t number;
  uint32_t submitted;
  {
    std::lock_guard lock(PlaybackLock);
    number = QueuedBlocks;
    submitted = BuffersSubmitted;
  }
  // The device may report a buffer done before the worker has counted it as written.
  int64_t q = static_cast<int32_t>(submitted - BuffersDone.load());
  if (q < 0) q = 0;
  const int64_t n = kPlayBlockSamples - q * (q + 1);
  if (n < 1) {
    SkipBlock(g_blocks_dropped);
    return;
  }
  auto* header = static_cast<AudioBuffer*>(std::malloc(sizeof(AudioBuffer)));
  auto* samples = static_cast<int16_t*>(std::calloc(static_cast<size_t>(n), sizeof(int16_t)));
  int result = AUDIO_NO_MEMORY;
  if (header != nullptr && samples != nullptr) {
    *header = g_template;
    FitSampleCount(samples, PlayBlocks[number & 1].get(), static_cast<int>(n), kPlayBlockSamples);
    header->data = reinterpret_cast<uint8_t*>(samples);
    header->length = header->bytes_recorded = static_cast<uint32_t>(n * 2);
    result = g_device ? g_device->Write(header) : AUDIO_INVALID_HANDLE;
  }
  if (result != AUDIO_OK) {
    // Counted as handed on, so that the next frame moves on to the next block.
    LogFailure("playback: block %u not played: %s", number, AudioErrorText(result));
    std::free(samples);
    std::free(header);
    SkipBlock(g_blocks_failed);
    return;
  }
  std::lock_guard lock(PlaybackLock);
  ++BuffersSubmitted;
  ++QueuedBlocks;
}

}  // namespace

bool PlaybackSetup() {
  std::lock_guard lock(PlaybackLock);
  for (auto& block : PlayBlocks) {
    block.reset(static_cast<int16_t*>(std::calloc(kPlayBlockSamples, sizeof(int16_t))));
    if (!block) {
      for (auto& b : PlayBlocks) b.reset();
      return false;
    }
  }
  return true;
}

void PlaybackTeardown() {
  ClosePlaybackSession();
  std::lock_guard lock(PlaybackLock);
  for (auto& block : PlayBlocks) block.reset();
}

bool OpenPlaybackSession(const AudioOutputOpener& open) {
  if (g_device) return false;
  {
    std::lock_guard lock(PlaybackLock);
    if (!PlayBlocks[0]) return false;
    DecodedBlocks = 0;
    QueuedBlocks = 0;
    g_next_half = 0;
    BuffersSubmitted = 0;
    g_blocks_dropped = 0;
    g_blocks_failed = 0;
  }
  // No device of an earlier session is left to report: its Close handed everything back.
  BuffersDone.store(0);
  g_template = AudioBuffer{nullptr, kPlayBlockSamples * 2, kPlayBlockSamples * 2, 0, 0, 1};
  const int result = open(OnWaveOutDone, g_device);
  if (result != AUDIO_OK) {
    LogFailure("playback: output device: %s", AudioErrorText(result));
    g_device.reset();
    return false;
  }
  g_device->GetVolume(&g_saved_volume);
  g_device->SetVolume(kAudioFullVolume);
  return true;
}

void TakePlaybackFrame(const uint8_t* frame, const FrameDecoder& decode) {
  if (frame == nullptr || !decode) return;
  bool due;
  {
    std::lock_guard lock(PlaybackLock);
    if (!PlayBlocks[0]) return;
    due = DecodedBlocks != QueuedBlocks;
  }
  if (due) SubmitPlayBlock();
  std::lock_guard lock(PlaybackLock);
  int16_t* half = PlayBlocks[DecodedBlocks & 1].get() + g_next_half * kFrameSamples;
  decode(half, frame, kFrameBytes);
  if (g_next_half == 1) ++DecodedBlocks;
  g_next_half ^= 1;
}

void ClosePlaybackSession() {
  if (!g_device) return;
  g_device->SetVolume(g_saved_volume);
  g_device->Close();
  g_device.reset();
}

void OnWaveOutDone(AudioOutput*, AudioOutputMessage message, AudioBuffer* header) {
  if (message != AUDIO_OUTPUT_DONE) return;
  BuffersDone.fetch_add(1);
  if (header != nullptr) {
    std::free(header->data);
    std::free(header);
  }
}

PlaybackCounters GetPlaybackCounters() {
  std::lock_guard lock(PlaybackLock);
  return {DecodedBlocks, QueuedBlocks, BuffersSubmitted, BuffersDone.load(), g_blocks_dropped, g_blocks_failed};
}

}  // namespace vantorel
