#pragma once
// An ImageBitmap as a .bmp file: the 14-byte file header, then the bitmap block unchanged.

#include <string>

#include "image/image_bitmap.h"

namespace vantorel {

inline constexpr uint32_t kBmpFileHeaderSize = 14;

// The file's bytes.
std::string BmpFileBytes(const ImageBitmap& bitmap);

// Writes the file. A regular file (or a new one) is written beside the target under a name
// of our own and renamed into place once complete: a failure leaves the target as it was
// and removes only that new file. An existing file keeps its mode; a new one gets 0644
// before the umask. A symbolic link is followed to the file it names. A target that is not
// a regular file (a device, a pipe) is written directly and never removed. On failure
// `failure` says why.
bool WriteBmpFile(const std::string& path, const ImageBitmap& bitmap, std::string& failure);

}  // namespace vantorel
