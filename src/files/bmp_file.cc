#include "files/bmp_file.h"

#include "files/replacing_file.h"

namespace vantorel {

namespace {

void Put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}

void Put32(std::string& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v & 0xFFFF));
  Put16(out, static_cast<uint16_t>(v >> 16));
}

}  // namespace

std::string BmpFileBytes(int width, int height, std::span<const uint32_t> pixels) {
  if (width <= 0 || height <= 0) return {};
  if (pixels.size() != static_cast<uint64_t>(width) * static_cast<uint64_t>(height)) return {};
  const uint64_t stride = BmpRowStride(static_cast<uint64_t>(width));
  const uint64_t image_size = stride * static_cast<uint64_t>(height);
  const uint64_t total = kBmpFileHeaderSize + kBmpInfoHeaderSize + image_size;
  if (total > UINT32_MAX) return {};
  std::string out;
  out.reserve(static_cast<size_t>(total));
  out += "BM";
  Put32(out, static_cast<uint32_t>(total));
  Put32(out, 0);  // two reserved 16-bit fields
  Put32(out, kBmpFileHeaderSize + kBmpInfoHeaderSize);
  Put32(out, kBmpInfoHeaderSize);
  Put32(out, static_cast<uint32_t>(width));
  Put32(out, static_cast<uint32_t>(height));  // positive: rows stored bottom-up
  Put16(out, 1);                              // planes
  Put16(out, 24);                             // bits per pixel
  Put32(out, 0);                              // uncompressed
  Put32(out, static_cast<uint32_t>(image_size));
  for (int i = 0; i < 4; ++i) Put32(out, 0);  // resolution, colours used and important
  const size_t header = out.size();
  out.resize(static_cast<size_t>(total), '\0');  // the row padding stays zero
  auto* file_row = reinterpret_cast<uint8_t*>(out.data()) + header;
  for (int y = height - 1; y >= 0; --y, file_row += stride) {
    const uint32_t* row = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    uint8_t* p = file_row;
    for (int x = 0; x < width; ++x, p += 3) {
      p[0] = static_cast<uint8_t>(row[x]);        // blue
      p[1] = static_cast<uint8_t>(row[x] >> 8);   // green
      p[2] = static_cast<uint8_t>(row[x] >> 16);  // red
    }
  }
  return out;
}

bool WriteBmpFile(const std::string& path, int width, int height, std::span<const uint32_t> pixels,
                  std::string& failure) {
  const std::string bytes = BmpFileBytes(width, height, pixels);
  if (bytes.empty()) {
    failure = path + ": no picture of that size to write";
    return false;
  }
  return WriteFileBytes(path, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, failure);
}

}  // namespace vantorel
