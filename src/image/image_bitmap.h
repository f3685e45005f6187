#pragma once
// ImageBitmap: one heap block holding a 40-byte BITMAPINFOHEADER followed by 24-bit pixel
// rows, bottom row first, each pixel blue, green, red, each row padded to a multiple of 4
// bytes. It is the decoder's output, the current image, and (after a 14-byte file header)
// a .bmp file. The block comes from malloc and is released with free (ImageBitmapPtr).

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace vantorel {

static_assert(std::endian::native == std::endian::little, "the bitmap header is stored as is");

struct ImageBitmapHeader {
  uint32_t header_size;       // 40
  int32_t width;              // pixels
  int32_t height;             // pixels, positive: rows stored bottom-up
  uint16_t planes;            // 1
  uint16_t bits_per_pixel;    // 24
  uint32_t compression;       // 0, uncompressed
  uint32_t image_size;        // S = stride x height
  int32_t x_pixels_per_meter; // 0
  int32_t y_pixels_per_meter; // 0
  uint32_t colors_used;       // 0
  uint32_t colors_important;  // 0
};
static_assert(sizeof(ImageBitmapHeader) == 40);

inline constexpr uint32_t kBitmapHeaderSize = sizeof(ImageBitmapHeader);

// The largest block we ever allocate for a still (header included). Anything larger is
// refused: a JPEG header alone may claim 65500 x 65500 pixels, about 12 GiB.
inline constexpr uint64_t kMaxBitmapBytes = 64ull * 1024 * 1024;

struct ImageBitmap {
  ImageBitmapHeader header;
  // The pixel rows follow the header in the same block.

  uint8_t* Pixels() { return reinterpret_cast<uint8_t*>(this) + kBitmapHeaderSize; }
  const uint8_t* Pixels() const { return reinterpret_cast<const uint8_t*>(this) + kBitmapHeaderSize; }
  uint32_t Stride() const;
  // Header plus pixel data, in bytes.
  uint32_t TotalSize() const { return kBitmapHeaderSize + header.image_size; }
};

struct FreeImageBitmap {
  void operator()(ImageBitmap* bitmap) const { std::free(bitmap); }
};
using ImageBitmapPtr = std::unique_ptr<ImageBitmap, FreeImageBitmap>;

// Bytes per row of 24-bit pixels: 3 x width rounded up to a multiple of 4 (321 -> 964).
constexpr uint64_t ImageRowStride(uint64_t width) { return (width * 3 + 3) & ~uint64_t{3}; }

// Header plus rows for a width x height bitmap, in 64 bits so that no claim overflows.
constexpr uint64_t ImageBitmapBytes(uint64_t width, uint64_t height) {
  return kBitmapHeaderSize + ImageRowStride(width) * height;
}

// A malloc'd block with the header filled in, the row padding zeroed and the pixels not
// yet written, or null when the size is zero, above kMaxBitmapBytes, or memory is short.
// Plain pointer on purpose: the decoder holds it across longjmp; wrap it in ImageBitmapPtr
// as soon as that is over.
ImageBitmap* AllocateImageBitmap(uint32_t width, uint32_t height);

// A copy of `bitmap` in a new block (null when memory is short).
ImageBitmapPtr CopyImageBitmap(const ImageBitmap& bitmap);

// Colour table entries after the header: the header's value when not 0, else 2, 16 or 256
// for 1, 4 or 8 bits per pixel, else 0 (so 0 for an ImageBitmap).
uint32_t ImageColorCount(const ImageBitmapHeader& header);
// Bytes of pixel data: the header's image size.
uint32_t ImageDataSize(const ImageBitmapHeader& header);

}  // namespace vantorel
