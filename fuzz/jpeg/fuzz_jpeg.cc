// DecodeJpeg on arbitrary bytes: never a crash, a hang or an oversized allocation,
// and a bitmap only with a consistent header.

#include <cstdint>
#include <cstdlib>

#include "image/jpeg_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint32_t bitmap_size = 1;
  const vantorel::ImageBitmapPtr bitmap = vantorel::DecodeJpeg({data, size}, bitmap_size);
  if (!bitmap) {
    if (bitmap_size != 0) std::abort();
    return 0;
  }
  const vantorel::ImageBitmapHeader& h = bitmap->header;
  if (bitmap_size != bitmap->TotalSize() || bitmap_size > vantorel::kMaxBitmapBytes || h.width <= 0 ||
      h.height <= 0 || h.image_size != bitmap->Stride() * static_cast<uint32_t>(h.height)) {
    std::abort();
  }
  // Every byte of the block must be readable (ASan checks the bounds).
  volatile uint8_t last = bitmap->Pixels()[h.image_size - 1];
  (void)last;
  return 0;
}
