#include "image/bmp_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    failure = path + ": " + std::strerror(errno);
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool ok = done == bytes.size() && close(fd) == 0;
  if (!ok) {
    failure = path + ": " + std::strerror(errno);
    if (done != bytes.size()) close(fd);
    unlink(path.c_str());
  }
  return ok;
}

}  // namespace vantorel
