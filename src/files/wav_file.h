#pragma once
// WAV files through libsndfile: reading any WAV (integer PCM of any width, float, mu-law,
// A-law, IMA/MS ADPCM, WAVE_FORMAT_EXTENSIBLE, RF64; any channel count and rate) as 16-bit
// mono at a chosen rate, converted block by block (channels mixed down, rate converted
// by libsamplerate); and writing 16-bit mono PCM (our own header: plain WAV, RF64 beyond
// 4 GiB).

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "files/replacing_file.h"

namespace vantorel {

// The most samples ReadWavMono16 and DecodeWavMono16 hold in memory by default: 2^29
// (1 GiB; 18.6 hours at 8000 Hz). A longer sound is refused rather than exhausting memory;
// WavReader streams sound of any length.
inline constexpr uint64_t kMaxWavMonoSamples = uint64_t{1} << 29;

// A WAV file's sound as 16-bit mono at `rate`, one block at a time. The memory it uses
// does not depend on the file's length or its format.
class WavReader {
 public:
  WavReader();
  ~WavReader();
  WavReader(const WavReader&) = delete;
  WavReader& operator=(const WavReader&) = delete;

  // Opens a file (a pipe too), or a whole file held in memory, which must outlive the
  // reader. False with a one-line reason when it is not a WAV file libsndfile can read, or
  // its rate cannot be converted to `rate`.
  bool Open(const std::string& path, int rate, std::string& error);
  bool OpenMemory(std::span<const uint8_t> file, int rate, std::string& error);

  // Replaces `block` with the next converted samples; an empty block at the end. False
  // with a one-line reason when the sound cannot be read on.
  bool Next(std::vector<int16_t>& block, std::string& error);

  // How many samples the whole sound gives, as its header tells (about; -1 when unknown,
  // as in a pipe).
  int64_t expected_samples() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The whole sound of a WAV file held in memory as 16-bit mono at `rate`. False with a
// one-line reason when it cannot be read, or would give more than `max_samples`.
bool DecodeWavMono16(std::span<const uint8_t> file, int rate, std::vector<int16_t>& samples, std::string& error,
                     uint64_t max_samples = kMaxWavMonoSamples);

// The same from a file; the reason then begins with the file's name.
bool ReadWavMono16(const std::string& path, int rate, std::vector<int16_t>& samples, std::string& error,
                   uint64_t max_samples = kMaxWavMonoSamples);

// The most sound bytes a plain WAV file holds: its RIFF size (the file less 8 bytes) must
// fit in 32 bits. Beyond it a file is RF64.
inline constexpr uint64_t kPlainWavDataLimit = 0xFFFFFFFFu - 36;

// Writes 16-bit mono PCM at `rate` as a WAV file, replacing the file the way ReplacingFile
// does. On failure nothing of ours is left behind.
bool WriteWavMono16(const std::string& path, int rate, std::span<const int16_t> samples, std::string& error);

// Writes 16-bit mono PCM as it comes, for recordings of any length: the file holds the
// sound so far, never all of it in memory. It replaces `path` only at Finish(); until
// then its header is brought up to date after every Append, so that even the temporary
// file of a run that was killed reads as what it holds.
//
// The file is plain PCM (format tag 1, a 16-byte format chunk, a 44-byte header) while its
// sound fits a plain WAV file; the Append that would overflow it first turns the file into
// RF64 (one copy of the file so far, with the temporary file whole throughout), so no
// recording ever meets a size limit. A device is written directly; a pipe or terminal is
// refused at Open (a WAV header must be rewritten at the end).
class WavWriter {
 public:
  // `plain_limit`: the most sound bytes kept as a plain WAV file.
  explicit WavWriter(uint64_t plain_limit = kPlainWavDataLimit) : plain_limit_(plain_limit) {}

  // False with a one-line reason when the file cannot be created.
  bool Open(const std::string& path, int rate, std::string& error);
  // False with a reason when the file cannot take the samples; the file is then dropped.
  bool Append(std::span<const int16_t> samples, std::string& error);
  // Puts the file in place, flushed to disk.
  bool Finish(std::string& error);

 private:
  std::vector<uint8_t> Header() const;

  const uint64_t plain_limit_;
  ReplacingFile file_;
  bool open_ = false;
  bool rf64_ = false;
  uint32_t rate_ = 0;
  uint64_t data_bytes_ = 0;
};

}  // namespace vantorel
