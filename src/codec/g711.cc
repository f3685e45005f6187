#include "codec/g711.h"

#include <array>

namespace vantorel {

namespace {

constexpr int kBias = 0x84;

constexpr int16_t DecodeOne(uint8_t code) {
  const int u = ~code & 0xFF;
  const int t = (((u & 0x0F) << 3) + kBias) << ((u & 0x70) >> 4);
  return static_cast<int16_t>((u & 0x80) ? kBias - t : t - kBias);
}

constexpr std::array<int16_t, 256> kDecoded = [] {
  std::array<int16_t, 256> table{};
  for (int c = 0; c < 256; ++c) table[static_cast<size_t>(c)] = DecodeOne(static_cast<uint8_t>(c));
  return table;
}();

// Every 14-bit linear value (the 16-bit sample's top 14 bits) to the code whose decoded
// value lies nearest: the decision levels halfway between neighbouring codes.
constexpr std::array<uint8_t, 16384> kEncoded = [] {
  std::array<uint8_t, 16384> table{};
  size_t j = 1;
  table[8192] = 0xFF;
  for (int i = 0; i < 127; ++i) {
    const int v1 = DecodeOne(static_cast<uint8_t>(i ^ 0xFF));
    const int v2 = DecodeOne(static_cast<uint8_t>((i + 1) ^ 0xFF));
    const auto level = static_cast<size_t>((v1 + v2 + 4) >> 3);
    for (; j < level; ++j) {
      table[8192 - j] = static_cast<uint8_t>(i ^ 0x7F);
      table[8192 + j] = static_cast<uint8_t>(i ^ 0xFF);
    }
  }
  for (; j < 8192; ++j) {
    table[8192 - j] = 127 ^ 0x7F;
    table[8192 + j] = 127 ^ 0xFF;
  }
  table[0] = table[1];
  return table;
}();

}  // namespace

uint8_t MuLawEncode(int16_t sample) { return kEncoded[static_cast<size_t>((sample + 32768) >> 2)]; }

int16_t MuLawDecode(uint8_t code) { return kDecoded[code]; }

void MuLawEncodeBlock(uint8_t* out, const int16_t* samples, size_t count) {
  for (size_t i = 0; i < count; ++i) out[i] = kEncoded[static_cast<size_t>((samples[i] + 32768) >> 2)];
}

void MuLawDecodeBlock(int16_t* out, const uint8_t* codes, size_t count) {
  for (size_t i = 0; i < count; ++i) out[i] = kDecoded[codes[i]];
}

}  // namespace vantorel
