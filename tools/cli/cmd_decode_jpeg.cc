// vantorel-cli decode-jpeg IN.jpg -o OUT.bmp: the JPEG decoder alone.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "files/file_bytes.h"
#include "image/image_fetch.h"
#include "image/jpeg_decode.h"

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
  ImageBitmap picture;
  if (!DecodeJpeg(jpeg, picture, &why)) {
    std::fprintf(stderr, "vantorel-cli: no picture: %s\n", why.c_str());
    return 1;
  }
  return SaveBmp(argv[3], picture, true);
}

}  // namespace vantorel::cli
