#pragma once
// The picture on show. The picture worker replaces it; the window draws it. Both go through
// one lock, so no draw ever sees a picture that is being replaced. The picture is kept in
// the form the window paints (ImageBitmap: top-down 0xffRRGGBB rows), so a paint is one blit
// of it, under the lock.

#include <functional>
#include <mutex>

#include "image/image_bitmap.h"

namespace vantorel {

class CurrentImage {
 public:
  // Makes `picture` the current image and hands the previous one back in `picture` (empty
  // when there was none), for the next still to be decoded into its storage. Under the lock
  // only the two objects' fields change places: nothing is allocated, copied or freed.
  void Swap(ImageBitmap& picture);
  // No picture any more; its storage is freed outside the lock.
  void Clear();

  // Runs `use` with the current image (null when there is none) under the lock: it stays
  // valid and unchanged until `use` returns. Keep `use` short, since the worker waits for
  // it, and never call Swap, Clear or With* from inside it.
  void WithBitmap(const std::function<void(const ImageBitmap*)>& use) const;

  // A copy of the current image taken under the lock (empty when there is none).
  ImageBitmap Copy() const;
  bool Has() const;

 private:
  mutable std::mutex mutex_;
  ImageBitmap current_;
};

}  // namespace vantorel
