#pragma once
// The constant tables of G.726 at 32 kbit/s in the coder's fixed-point scaling, shared by
// encoder and decoder. Indexed by codeword where noted; bit 3 of a codeword is the sign of
// the difference, so codewords 8..15 mirror 7..0.

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

}  // namespace vantorel::g726_tables
