#pragma once
// A picture as a .bmp file: the 14-byte file header, a 40-byte BITMAPINFOHEADER (24 bits per
// pixel, uncompressed, no colour table), then the rows bottom row first, each pixel blue,
// green, red, each row padded with zeros to a multiple of 4 bytes.

#include <cstdint>
#include <span>
#include <string>

namespace vantorel {

inline constexpr uint32_t kBmpFileHeaderSize = 14;
inline constexpr uint32_t kBmpInfoHeaderSize = 40;

// Bytes per row of a 24-bit .bmp file: 3 x width rounded up to a multiple of 4 (321 -> 964).
constexpr uint64_t BmpRowStride(uint64_t width) { return (width * 3 + 3) & ~uint64_t{3}; }

// The file's bytes for `width` x `height` pixels given as 32-bit 0x..RRGGBB values, rows top
// down without padding (the current picture's form; the top byte is not written). Empty
// when the sizes do not match `pixels` or the file would not fit its 32-bit size field.
std::string BmpFileBytes(int width, int height, std::span<const uint32_t> pixels);

// Writes the file through WriteFileBytes (files/file_bytes.h): it replaces `path` only once
// complete, a failure leaves `path` as it was, and a device or pipe is written directly. On
// failure `failure` says why (naming `path`).
bool WriteBmpFile(const std::string& path, int width, int height, std::span<const uint32_t> pixels,
                  std::string& failure);

}  // namespace vantorel
