#include "image/bmp_file.h"

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

std::string BmpFileBytes(const ImageBitmap& bitmap) {
  const uint32_t offset = kBmpFileHeaderSize + kBitmapHeaderSize + 4 * ImageColorCount(bitmap.header);
  std::string out;
  out.reserve(kBmpFileHeaderSize + bitmap.TotalSize());
  out += "BM";
  Put32(out, kBmpFileHeaderSize + bitmap.TotalSize());
  Put32(out, 0);  // two reserved 16-bit fields
  Put32(out, offset);
  out.append(reinterpret_cast<const char*>(&bitmap), bitmap.TotalSize());
  return out;
}

bool WriteBmpFile(const std::string& path, const ImageBitmap& bitmap, std::string& failure) {
  const std::string bytes = BmpFileBytes(bitmap);
  return WriteFileBytes(path, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, failure,
                        kOutputFileMode);
}

}  // namespace vantorel
