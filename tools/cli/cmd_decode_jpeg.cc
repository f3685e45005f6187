// vantorel-cli decode-jpeg IN.jpg -o OUT.bmp: the JPEG decoder alone.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "image/bmp_file.h"
#include "image/jpeg_decode.h"

namespace vantorel::cli {

int RunDecodeJpeg(int argc, char** argv) {
  if (argc != 4 || std::strcmp(argv[2], "-o") != 0) {
    std::fputs("usage: vantorel-cli decode-jpeg IN.jpg -o OUT.bmp\n", stderr);
    return 2;
  }
  const int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "vantorel-cli: no picture: %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  std::string why;
  uint32_t size = 0;
  const ImageBitmapPtr bitmap = DecodeJpegHandle(fd, size, &why);
  close(fd);
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
