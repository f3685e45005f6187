// DecodeJpeg on arbitrary bytes: never a crash, a hang or an oversized allocation, and a
// picture only with consistent sizes and every pixel opaque (the window blits it as is).

#include <cstdint>
#include <cstdlib>

#include "image/jpeg_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vantorel::ImageBitmap picture;
  if (!vantorel::DecodeJpeg({data, size}, picture)) {
    if (!picture.empty()) std::abort();
    return 0;
  }
  const uint64_t pixels = static_cast<uint64_t>(picture.width) * static_cast<uint64_t>(picture.height);
  if (picture.width <= 0 || picture.height <= 0 || picture.pixels.size() != pixels ||
      vantorel::ImageBitmapBytes(picture.width, picture.height) > vantorel::kMaxBitmapBytes) {
    std::abort();
  }
  // Every pixel must be readable (ASan checks the bounds) and opaque.
  for (const uint32_t p : picture.pixels) {
    if ((p >> 24) != 0xff) std::abort();
  }
  return 0;
}
