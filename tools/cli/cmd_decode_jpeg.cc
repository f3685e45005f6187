// vantorel-cli decode-jpeg IN.jpg -o OUT.bmp: the JPEG decoder alone.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "image/bmp_file.h"
#include "image/jpeg_decode.h"
#include "image/image_fetch.h"
#include "files/file_bytes.h"

namespace vantorel::cli {

int RunDecodeJpeg(int argc, char** argv) {
  if (argc != 4 || std::strcmp(argv[2], "-o") != 0) {
    std::fputs("usage: vantorel-cli decode-jpeg IN.jpg -o OUT.bmp\n", stderr);
    return 2;
  }
  std::string why;
  std::vector<uint8_t> jpeg;
  if (!ReadFileBytes(argv[1], jpeg, why, kMaxStillBytes)) {
    std::fprintf(stderr, "vantorel-cli: no picture: %s\n", why.c_str());
    return 1;
  }
  uint32_t size = 0;
  const ImageBitmapPtr bitmap = DecodeJpeg(jpeg, size, &why);
  if (!bitmap) {
    std::fprintf(stderr, "vantorel-cli: no picture: %s\n", why.c_str());
    return 1;
  }
  if (!WriteBmpFile(argv[3], *bitmap, why)) {
    std::fprintf(stderr, "vantorel-cli: %s\n", why.c_str());
    return 1;
  }
  std::printf("%dx%d, %u bytes\n", bitmap->header.width, bitmap->header.height, size);
  return 0;
}

}  // namespace vantorel::cli
