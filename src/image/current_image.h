#pragma once
// The picture on show. The picture worker replaces it; the window draws it. Both go through
// one lock, so no draw ever sees a picture that is being freed.
//
// Next to the bitmap (the decoder's bottom-up BGR rows, what `vantorel-cli snapshot` writes)
// it keeps the same picture converted once, on the worker's thread, into what a window
// draws fastest: top-down rows of 32-bit 0xffRRGGBB pixels. A paint is then one blit.

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "image/image_bitmap.h"

namespace vantorel {

// Top-down rows of 0xffRRGGBB pixels, `width` per row, no padding.
struct DisplayFrame {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

// The bitmap's pixels as a DisplayFrame (empty for anything but a 24-bit bitmap), in
// `storage` when it is given (its capacity is reused).
DisplayFrame ToDisplayFrame(const ImageBitmap& bitmap, std::vector<uint32_t> storage = {});

class CurrentImage {
 public:
  // Makes `bitmap` the current image and frees the previous one (outside the lock). Null
  // clears the picture.
  void Replace(ImageBitmapPtr bitmap);

  // Runs `use` with the current image (null when there is none) under the lock: it stays
  // valid and unchanged until `use` returns. Keep `use` short, since the worker waits for
  // it, and never call Replace or With* from inside it.
  void WithBitmap(const std::function<void(const ImageBitmap*)>& use) const;
  // The same with the display form (null when there is no picture).
  void WithDisplayFrame(const std::function<void(const DisplayFrame*)>& use) const;

  // A copy of the current image taken under the lock, or null when there is none.
  ImageBitmapPtr Copy() const;
  bool Has() const;

 private:
  mutable std::mutex mutex_;
  ImageBitmapPtr bitmap_;
  DisplayFrame frame_;
  std::vector<uint32_t> spare_pixels_;  // the picture before, reused by the next Replace
};

}  // namespace vantorel
