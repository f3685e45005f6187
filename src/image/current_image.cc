#include "image/current_image.h"

namespace vantorel {

DisplayFrame ToDisplayFrame(const ImageBitmap& bitmap) {
  const ImageBitmapHeader& h = bitmap.header;
  DisplayFrame frame;
  if (h.width <= 0 || h.height <= 0 || h.bits_per_pixel != 24) return frame;
  const uint64_t stride = ImageRowStride(static_cast<uint64_t>(h.width));
  if (stride * static_cast<uint64_t>(h.height) > ImageDataSize(h)) return frame;
  frame.width = h.width;
  frame.height = h.height;
  frame.pixels.resize(static_cast<size_t>(h.width) * static_cast<size_t>(h.height));
  const uint8_t* base = bitmap.Pixels();
  uint32_t* out = frame.pixels.data();
  // The bitmap stores its bottom row first.
  for (int y = h.height - 1; y >= 0; --y) {
    const uint8_t* p = base + static_cast<uint64_t>(y) * stride;
    for (int x = 0; x < h.width; ++x, p += 3) {
      *out++ = 0xff000000u | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    }
  }
  return frame;
}

void CurrentImage::Replace(ImageBitmapPtr bitmap) {
  DisplayFrame frame = bitmap ? ToDisplayFrame(*bitmap) : DisplayFrame{};
  {
    std::lock_guard lock(mutex_);
    bitmap_.swap(bitmap);
    frame_.width = frame.width;
    frame_.height = frame.height;
    frame_.pixels.swap(frame.pixels);
  }
  // `bitmap` and `frame` now hold the previous picture, freed here, after the lock.
}

void CurrentImage::WithBitmap(const std::function<void(const ImageBitmap*)>& use) const {
  std::lock_guard lock(mutex_);
  use(bitmap_.get());
}

void CurrentImage::WithDisplayFrame(const std::function<void(const DisplayFrame*)>& use) const {
  std::lock_guard lock(mutex_);
  use(bitmap_ && frame_.width > 0 ? &frame_ : nullptr);
}

ImageBitmapPtr CurrentImage::Copy() const {
  std::lock_guard lock(mutex_);
  return bitmap_ ? CopyImageBitmap(*bitmap_) : nullptr;
}

bool CurrentImage::Has() const {
  std::lock_guard lock(mutex_);
  return bitmap_ != nullptr;
}

}  // namespace vantorel
