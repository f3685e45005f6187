// Parses the input as a WAV file and, when it is one, converts its sound to 8000 Hz mono.
// Checks that what the parser hands out lies inside the input and holds whole frames.

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "platform/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> file(data, size);
  vantorel::WavInfo info;
  std::string error;
  if (vantorel::ParseWav(file, info, error)) {
    if (info.data.data() < data || info.data.data() + info.data.size() > data + size) std::abort();
    if (info.channels <= 0 || info.sample_rate <= 0) std::abort();
    const size_t frame = static_cast<size_t>(info.channels) * ((static_cast<size_t>(info.bits_per_sample) + 7) / 8);
    if (frame == 0 || info.data.size() % frame != 0) std::abort();
  } else if (error.empty()) {
    std::abort();
  }
  std::vector<int16_t> samples;
  if (!vantorel::DecodeWavMono16(file, 8000, samples, error) && error.empty()) std::abort();
  return 0;
}
