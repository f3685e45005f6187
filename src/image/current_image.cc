#include "image/current_image.h"

#include <utility>

namespace vantorel {

void CurrentImage::Swap(ImageBitmap& picture) {
  std::lock_guard lock(mutex_);
  std::swap(current_.width, picture.width);
  std::swap(current_.height, picture.height);
  current_.pixels.swap(picture.pixels);
}

void CurrentImage::Clear() {
  ImageBitmap none;
  Swap(none);
}  // the previous picture is freed here, after the lock

void CurrentImage::WithBitmap(const std::function<void(const ImageBitmap*)>& use) const {
  std::lock_guard lock(mutex_);
  use(current_.empty() ? nullptr : &current_);
}

ImageBitmap CurrentImage::Copy() const {
  std::lock_guard lock(mutex_);
  return current_.empty() ? ImageBitmap{} : current_;
}

bool CurrentImage::Has() const {
  std::lock_guard lock(mutex_);
  return !current_.empty();
}

}  // namespace vantorel
