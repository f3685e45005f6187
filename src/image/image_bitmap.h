#pragma once
// ImageBitmap: the picture in the one form it has from the decoder to the window: `width` x
// `height` pixels, rows top down without padding, each pixel 32 bits 0xffRRGGBB (in memory
// blue, green, red, 0xff: what libjpeg-turbo's JCS_EXT_BGRX writes on a little-endian machine
// and what QImage::Format_RGB32 blits). A .bmp file is made from it only where one is written
// (files/bmp_file.h).

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantorel {

static_assert(std::endian::native == std::endian::little, "pixels are decoded as blue, green, red, 0xff bytes");

struct ImageBitmap {
  int width = 0;
  int height = 0;
  // width x height pixels. The storage outlives the picture: the next picture decoded into
  // this object reuses it, so stills of one size cost no allocation. An empty picture may
  // keep the storage of an earlier one.
  std::vector<uint32_t> pixels;

  bool empty() const { return width == 0 || height == 0; }
  const uint32_t* Row(int y) const { return pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width); }
};

// The most pixel bytes a still may need (64 MiB: 16 Mi pixels at 4 bytes, e.g. 4096 x 4096).
// Anything larger is refused from the JPEG header: one may claim 65500 x 65500 pixels, 16 GiB.
inline constexpr uint64_t kMaxBitmapBytes = 64ull * 1024 * 1024;

// Pixel bytes of a width x height picture, in 64 bits so that no claim overflows.
constexpr uint64_t ImageBitmapBytes(uint64_t width, uint64_t height) { return width * height * 4; }

}  // namespace vantorel
