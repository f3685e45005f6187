#pragma once
// The constant tables of G.726 at 32 kbit/s in the coder's fixed-point scaling, shared by
// encoder and decoder, and the quantiser's table derived from them at compile time.
// Indexed by codeword where noted; bit 3 of a codeword is the sign of the difference, so
// codewords 8..15 mirror 7..0.

#include <array>
#include <cstdint>

namespace vantorel::g726_tables {

// Quantiser decision levels (log domain, normalised by the step size).
inline constexpr int16_t kDecisionLevels[7] = {-124, 80, 178, 246, 300, 349, 400};

// Reconstruction log levels by codeword.
inline constexpr int16_t kReconstructLog[16] = {-2048, 4,   135, 213, 273, 323, 373, 425,
                                                 425,   373, 323, 273, 213, 135, 4,   -2048};

// Scale factor multiplier W by codeword.
inline constexpr int16_t kScaleMultiplier[16] = {-12,  18,  41,  64,  112, 198, 355, 1122,
                                                 1122, 355, 198, 112, 64,  41,  18,  -12};

// F, the rate-of-change value that drives the adaptation speed, by codeword.
inline constexpr int16_t kRateOfChange[16] = {0,    0,    0,   512, 512, 512, 1536, 3584,
                                              3584, 1536, 512, 512, 512, 0,   0,    0};

// The quantiser's result for every normalised log difference dln in kMinDln..kMaxDln
// (the whole range that differences up to 24575 and step sizes 544..5120 produce):
// row 0 for a difference d >= 0, row 1 for d < 0.
inline constexpr int kMinDln = -1280;  // log 0 minus the largest step (5120 >> 2)
inline constexpr int kMaxDln = 1783;   // log of 24575 (1919) minus the smallest (544 >> 2)
inline constexpr auto kQuantizerCode = [] {
  std::array<std::array<uint8_t, kMaxDln - kMinDln + 1>, 2> t{};
  for (int dln = kMinDln; dln <= kMaxDln; ++dln) {
    int i = 0;
    while (i < 7 && dln >= kDecisionLevels[i]) ++i;
    t[0][dln - kMinDln] = static_cast<uint8_t>(i == 0 ? 15 : i);
    t[1][dln - kMinDln] = static_cast<uint8_t>(15 - i);
  }
  return t;
}();

}  // namespace vantorel::g726_tables
