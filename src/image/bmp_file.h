#pragma once
// An ImageBitmap as a .bmp file: the 14-byte file header, then the bitmap block unchanged.

#include <string>

#include "image/image_bitmap.h"

namespace vantorel {

inline constexpr uint32_t kBmpFileHeaderSize = 14;

// The file's bytes.
std::string BmpFileBytes(const ImageBitmap& bitmap);

// Writes the file the way ReplacingFile does: beside the target, renamed into place when
// complete, a device written directly; on failure only what was created is removed, and
// `failure` says why.
bool WriteBmpFile(const std::string& path, const ImageBitmap& bitmap, std::string& failure);

}  // namespace vantorel
