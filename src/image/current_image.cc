#include "image/current_image.h"

namespace vantorel {

namespace {

uint32_t LoadLittleEndian32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

// One row of blue, green, red bytes as 0xffRRGGBB: four pixels from three 32-bit loads at
// a time, which is what keeps the conversion below a tenth of a still's decode.
void ConvertRow(const uint8_t* p, uint32_t* out, int width) {
  constexpr uint32_t kOpaque = 0xff000000u;
  int x = 0;
  for (; x + 4 <= width; x += 4, p += 12, out += 4) {
    const uint32_t w0 = LoadLittleEndian32(p);
    const uint32_t w1 = LoadLittleEndian32(p + 4);
    const uint32_t w2 = LoadLittleEndian32(p + 8);
    out[0] = kOpaque | (w0 & 0xffffffu);
    out[1] = kOpaque | (w0 >> 24) | ((w1 & 0xffffu) << 8);
    out[2] = kOpaque | (w1 >> 16) | ((w2 & 0xffu) << 16);
    out[3] = kOpaque | (w2 >> 8);
  }
  for (; x < width; ++x, p += 3) *out++ = kOpaque | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

}  // namespace

DisplayFrame ToDisplayFrame(const ImageBitmap& bitmap, std::vector<uint32_t> storage) {
  const ImageBitmapHeader& h = bitmap.header;
  DisplayFrame frame;
  if (h.width <= 0 || h.height <= 0 || h.bits_per_pixel != 24) return frame;
  const uint64_t stride = ImageRowStride(static_cast<uint64_t>(h.width));
  if (stride * static_cast<uint64_t>(h.height) > ImageDataSize(h)) return frame;
  frame.width = h.width;
  frame.height = h.height;
  frame.pixels = std::move(storage);
  // Same size as the storage's last picture: no allocation and no clearing.
  frame.pixels.resize(static_cast<size_t>(h.width) * static_cast<size_t>(h.height));
  const uint8_t* base = bitmap.Pixels();
  uint32_t* out = frame.pixels.data();
  // The bitmap stores its bottom row first.
  for (int y = h.height - 1; y >= 0; --y, out += h.width) ConvertRow(base + static_cast<uint64_t>(y) * stride, out, h.width);
  return frame;
}

void CurrentImage::Replace(ImageBitmapPtr bitmap) {
  std::vector<uint32_t> storage;
  {
    std::lock_guard lock(mutex_);
    storage.swap(spare_pixels_);
  }
  DisplayFrame frame = bitmap ? ToDisplayFrame(*bitmap, std::move(storage)) : DisplayFrame{};
  {
    std::lock_guard lock(mutex_);
    bitmap_.swap(bitmap);
    frame_.width = frame.width;
    frame_.height = frame.height;
    frame_.pixels.swap(frame.pixels);
    // The previous picture's pixels are kept for the next conversion.
    if (spare_pixels_.empty()) spare_pixels_.swap(frame.pixels);
  }
  // `bitmap` (and pixels not kept) now hold the previous picture, freed here, after the lock.
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
