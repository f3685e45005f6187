#include "image/image_bitmap.h"

#include <cstring>

namespace vantorel {

uint32_t ImageBitmap::Stride() const {
  return static_cast<uint32_t>(ImageRowStride(static_cast<uint32_t>(header.width)));
}

ImageBitmap* AllocateImageBitmap(uint32_t width, uint32_t height) {
  const uint64_t total = ImageBitmapBytes(width, height);
  if (width == 0 || height == 0 || total > kMaxBitmapBytes) return nullptr;
  auto* bitmap = static_cast<ImageBitmap*>(std::malloc(static_cast<size_t>(total)));
  if (!bitmap) return nullptr;
  ImageBitmapHeader& h = bitmap->header;
  h = {};
  h.header_size = kBitmapHeaderSize;
  h.width = static_cast<int32_t>(width);
  h.height = static_cast<int32_t>(height);
  h.planes = 1;
  h.bits_per_pixel = 24;
  h.image_size = static_cast<uint32_t>(total - kBitmapHeaderSize);
  // Row padding is never drawn, but it reaches .bmp files: no stale heap bytes there.
  const uint64_t stride = ImageRowStride(width), used = uint64_t{width} * 3;
  if (stride != used) {
    for (uint64_t row = 0; row < height; ++row) {
      std::memset(bitmap->Pixels() + row * stride + used, 0, static_cast<size_t>(stride - used));
    }
  }
  return bitmap;
}

ImageBitmapPtr CopyImageBitmap(const ImageBitmap& bitmap) {
  const size_t total = bitmap.TotalSize();
  ImageBitmapPtr copy(static_cast<ImageBitmap*>(std::malloc(total)));
  if (copy) std::memcpy(copy.get(), &bitmap, total);
  return copy;
}

uint32_t ImageColorCount(const ImageBitmapHeader& header) {
  if (header.colors_used != 0) return header.colors_used;
  switch (header.bits_per_pixel) {
    case 1:
      return 2;
    case 4:
      return 16;
    case 8:
      return 256;
    default:
      return 0;
  }
}

uint32_t ImageDataSize(const ImageBitmapHeader& header) { return header.image_size; }

}  // namespace vantorel
