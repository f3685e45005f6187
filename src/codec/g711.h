#pragma once
// G.711 mu-law ("audio/basic"): one byte per 16-bit sample at 8000 Hz, the sound format
// today's cameras send and take by default.

#include <cstddef>
#include <cstdint>

namespace vantorel {

// The G.711 mu-law code of a 16-bit sample (the code whose value lies nearest, at 14-bit
// resolution), and back (within +-32124).
uint8_t MuLawEncode(int16_t sample);
int16_t MuLawDecode(uint8_t code);

void MuLawEncodeBlock(uint8_t* out, const int16_t* samples, size_t count);
void MuLawDecodeBlock(int16_t* out, const uint8_t* codes, size_t count);

}  // namespace vantorel
