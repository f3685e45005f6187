#pragma once
// Pixels to a JPEG file in memory, with libjpeg. Used for the simulated camera's stills and
// by the tests to make JPEGs of every shape.

#include <cstdint>
#include <string>

namespace vantorel::camsim {

enum class JpegKind {
  kColour,  // 3 components, red-green-blue in, YCbCr in the file
  kGrey,    // 1 component
  kCmyk,    // 4 components, CMYK in the file
};

struct JpegEncodeOptions {
  int quality = 85;
  bool progressive = false;
  int restart_rows = 0;  // restart marker every N MCU rows (0: none)
};

// `pixels`: rows top to bottom, 3, 1 or 4 bytes per pixel after `kind`, no padding.
std::string EncodeJpeg(const uint8_t* pixels, int width, int height, JpegKind kind,
                       const JpegEncodeOptions& options = {});

}  // namespace vantorel::camsim
