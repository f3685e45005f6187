// Reads the input as a WAV file held in memory, as libsndfile's virtual I/O hands it to
// the reader, and converts its sound to 8000 Hz mono block by block: any layout, channel
// count and rate, including the formats that multiply in size (IMA/MS ADPCM, GSM, 8-bit
// at low rates). Checks that every failure has a reason, that the blocks add up to what
// the whole-file reader returns, and that a stream never gives more than the cap it was
// read with.

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "files/wav_file.h"

namespace {

// 8 s at 8000 Hz: long enough that inputs reach the cap from both sides, short enough that
// a low-rate input (GSM at 64 Hz grows 125-fold) costs milliseconds, not the 0.7 s per input
// that a cap of 2^22 cost (36 inputs/s after the first minute of a long run).
constexpr uint64_t kMaxSamples = uint64_t{1} << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> file(data, size);
  std::string error;
  std::vector<int16_t> whole;
  const bool decoded = vantorel::DecodeWavMono16(file, 8000, whole, error, kMaxSamples);
  if (!decoded && error.empty()) std::abort();
  if (decoded && whole.size() > kMaxSamples) std::abort();

  vantorel::WavReader reader;
  std::string reader_error;
  if (!reader.OpenMemory(file, 8000, reader_error)) {
    if (reader_error.empty() || decoded) std::abort();
    return 0;
  }
  std::vector<int16_t> block;
  uint64_t total = 0;
  do {
    if (!reader.Next(block, reader_error)) {
      if (reader_error.empty() || decoded) std::abort();
      return 0;
    }
    total += block.size();
  } while (!block.empty() && total <= kMaxSamples);
  // Whatever the whole-file reader took, the blocks give the same count.
  if (decoded && total != whole.size()) std::abort();
  return 0;
}
