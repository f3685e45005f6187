#pragma once
// What both audio devices share: the sample format, the buffer that the caller lends to a
// device, and the numeric result codes with their texts.

#include <cstdint>

namespace vantorel {

// Both devices run PCM, 1 channel, 8000 samples per second, 16-bit signed, native order.
constexpr int kAudioSampleRate = 8000;
constexpr int kAudioBytesPerSample = 2;

// One buffer lent to a device. The caller allocates it and its data block; the device
// holds both from queueing until it hands the buffer back, then the caller owns them again.
struct AudioBuffer {
  uint8_t* data;
  uint32_t length;          // bytes in `data`
  uint32_t bytes_recorded;  // input: bytes filled so far
  uintptr_t user;           // the caller's value, untouched by the device
  uint32_t flags;           // AudioBufferFlag bits
  uint32_t loops;
};

enum AudioBufferFlag : uint32_t {
  AUDIO_BUFFER_DONE = 0x01,      // the device has handed the buffer back
  AUDIO_BUFFER_PREPARED = 0x02,  // ready to be queued (input)
  AUDIO_BUFFER_INQUEUE = 0x10,   // held by the device
  AUDIO_BUFFER_RESET = 0x100,    // handed back by a reset, not because it was full
};

// Result codes, 0 for success. The numbers follow the multimedia results of the platform
// the program comes from, so that 7 is "out of memory" everywhere.
enum AudioResult : int {
  AUDIO_OK = 0,
  AUDIO_ERROR = 1,           // unspecified failure
  AUDIO_BAD_DEVICE = 2,      // no such device, or it would not open
  AUDIO_NOT_ENABLED = 3,     // the audio system could not be started
  AUDIO_INVALID_HANDLE = 5,  // the device is closed
  AUDIO_NO_DRIVER = 6,       // no driver is available
  AUDIO_NO_MEMORY = 7,
  AUDIO_INVALID_PARAM = 11,
  AUDIO_BAD_FORMAT = 32,
  AUDIO_STILL_PLAYING = 33,  // buffers are still queued
  AUDIO_UNPREPARED = 34,     // the buffer was not prepared
};

// A readable text for a result code; unknown codes get a generic text. Never null.
const char* AudioErrorText(int result);

}  // namespace vantorel
