#include "image/current_image.h"

#include <mutex>

namespace vantorel {

namespace {

struct CurrentImageState {
  std::mutex mutex;
  ImageBitmapPtr bitmap;
};

// Never destroyed: a worker that is still ending its last cycle when the program exits
// must not find the lock or the picture already torn down by static destruction.
CurrentImageState& State() {
  static auto* const state = new CurrentImageState;
  return *state;
}

}  // namespace

void ReplaceCurrentImage(ImageBitmapPtr bitmap) {
  CurrentImageState& s = State();
  {
    std::lock_guard lock(s.mutex);
    s.bitmap.swap(bitmap);
  }
  // `bitmap` now holds the previous picture, freed here, after the lock.
}

void WithCurrentImage(const std::function<void(const ImageBitmap*)>& use) {
  CurrentImageState& s = State();
  std::lock_guard lock(s.mutex);
  use(s.bitmap.get());
}

ImageBitmapPtr CopyCurrentImage() {
  CurrentImageState& s = State();
  std::lock_guard lock(s.mutex);
  return s.bitmap ? CopyImageBitmap(*s.bitmap) : nullptr;
}

bool HasCurrentImage() {
  CurrentImageState& s = State();
  std::lock_guard lock(s.mutex);
  return s.bitmap != nullptr;
}

}  // namespace vantorel
