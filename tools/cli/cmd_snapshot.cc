// vantorel-cli snapshot URL -o FILE.bmp: one still fetched and decoded, saved as BMP.

#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "cli/failure_text.h"
#include "image/bmp_file.h"
#include "image/image_fetch.h"
#include "station/status_meaning.h"

namespace vantorel::cli {

int RunSnapshot(int argc, char** argv) {
  if (argc != 4 || std::strcmp(argv[2], "-o") != 0) {
    std::fputs("usage: vantorel-cli snapshot URL -o FILE.bmp\n", stderr);
    return 2;
  }
  ImageBitmapPtr bitmap;
  const Failure failure = ClassifyFailure(Endpoint::kPicture, FetchHttpJpeg(argv[1], bitmap));
  if (!bitmap) {
    std::fprintf(stderr, "vantorel-cli: no picture: %s\n", DescribeFailure(failure, true).c_str());
    return failure.failed() ? FailureExitCode(failure.reason) : 1;
  }
  std::string why;
  if (!WriteBmpFile(argv[3], *bitmap, why)) {
    std::fprintf(stderr, "vantorel-cli: %s\n", why.c_str());
    return 1;
  }
  std::printf("%dx%d, %u bytes\n", bitmap->header.width, bitmap->header.height, bitmap->TotalSize());
  return 0;
}

}  // namespace vantorel::cli
