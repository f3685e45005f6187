#pragma once
// An ImageBitmap as a .bmp file: the 14-byte file header, then the bitmap block unchanged.

#include <string>

#include "image/image_bitmap.h"

namespace vantorel {

inline constexpr uint32_t kBmpFileHeaderSize = 14;

// The file's bytes.
std::string BmpFileBytes(const ImageBitmap& bitmap);

// Writes the file the way ReplacingFile (files/replacing_file.h) replaces one: beside the
// target, flushed, renamed into place; an existing file keeps its mode, a new one gets 0666
// before the umask; a link keeps pointing at the file it names; a device or pipe is written
// directly and never removed. On failure `failure` says why.
bool WriteBmpFile(const std::string& path, const ImageBitmap& bitmap, std::string& failure);

}  // namespace vantorel
