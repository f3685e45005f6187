#pragma once
// WAV files: reading integer PCM of any common rate, width and channel count as 16-bit
// mono at a chosen rate (conversion by SDL's audio converter), and writing 16-bit mono.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/file_bytes.h"

namespace vantorel {

inline constexpr uint16_t kWavFormatPcm = 1;

// What the header of a RIFF/WAVE file says, and where its sound is.
struct WavInfo {
  uint16_t format_tag = 0;  // 1 = integer PCM; for WAVE_FORMAT_EXTENSIBLE the sub-format's
  int channels = 0;
  int sample_rate = 0;
  int bits_per_sample = 0;
  std::span<const uint8_t> data;  // the sound, cut to whole sample frames
};

// Parses a whole WAV file held in memory: the RIFF header and the "fmt " and "data"
// chunks, in any order, skipping others. A data chunk that claims more bytes than the
// file holds (a recording that was cut off) yields what is there. False, with a one-line
// reason in `error`, for anything that is not a well-formed WAV file. Any format tag
// passes; the caller decides what it can use.
bool ParseWav(std::span<const uint8_t> file, WavInfo& info, std::string& error);

// The sound of a WAV file of integer PCM (8, 16, 24 or 32 bits, 1 to 8 channels, 1000 to
// 768000 Hz) as 16-bit mono at `rate`. Other layouts are converted with SDL's audio
// converter (channels mixed down, rate resampled). False with a one-line reason when it
// is not a WAV file, not PCM, or cannot be converted.
bool DecodeWavMono16(std::span<const uint8_t> file, int rate, std::vector<int16_t>& samples, std::string& error);

// The same from a file; the reason then begins with the file's name.
bool ReadWavMono16(const std::string& path, int rate, std::vector<int16_t>& samples, std::string& error);

// Writes 16-bit mono PCM at `rate`, replacing the file. On failure nothing is left behind.
bool WriteWavMono16(const std::string& path, int rate, std::span<const int16_t> samples, std::string& error);

// Writes 16-bit mono PCM as it comes, for recordings of any length: the file holds the
// sound so far, never all of it in memory. It replaces `path` only at Finish(); until
// then the header claims the largest possible data chunk, so that even the temporary file
// of a run that was killed reads as what it holds.
class WavWriter {
 public:
  // False with a one-line reason when the file cannot be created.
  bool Open(const std::string& path, int rate, std::string& error);
  // False with a reason when the file cannot take the samples, or a WAV file could hold
  // no more (4 GiB); the file is then dropped.
  bool Append(std::span<const int16_t> samples, std::string& error);
  // Writes the true sizes into the header and puts the file in place.
  bool Finish(std::string& error);

 private:
  ReplacingFile file_;
  int rate_ = 0;
  uint64_t data_bytes_ = 0;
};

}  // namespace vantorel
