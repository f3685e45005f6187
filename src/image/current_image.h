#pragma once
// The picture on show. The refresh worker replaces it; the window draws it. Both go through
// one lock, so no draw ever sees a bitmap that is being freed.

#include <cstdint>
#include <functional>

#include "image/image_bitmap.h"

namespace vantorel {

// Makes `bitmap` the current image and frees the previous one (outside the lock). Null
// clears the picture.
void ReplaceCurrentImage(ImageBitmapPtr bitmap);

// Runs `use` with the current image (null when there is none) while holding the lock that
// ReplaceCurrentImage takes: the bitmap stays valid and unchanged until `use` returns. For
// drawing on the window thread. Keep `use` short, since the worker waits for it, and never
// call ReplaceCurrentImage or WithCurrentImage from inside it.
void WithCurrentImage(const std::function<void(const ImageBitmap*)>& use);

// A copy of the current image taken under the lock, or null when there is none.
ImageBitmapPtr CopyCurrentImage();

bool HasCurrentImage();

}  // namespace vantorel
