// vantorel-cli snapshot URL -o FILE.bmp: one still fetched and decoded, saved as BMP.

#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "cli/failure_text.h"
#include "files/bmp_file.h"
#include "image/image_fetch.h"
#include "station/status_meaning.h"

namespace vantorel::cli {

int SaveBmp(const char* path, const ImageBitmap& picture, bool say_size) {
  std::string why;
  if (!WriteBmpFile(path, picture.width, picture.height, picture.pixels, why)) {
    std::fprintf(stderr, "vantorel-cli: %s\n", why.c_str());
    return 1;
  }
  const uint64_t bytes = kBmpFileHeaderSize + kBmpInfoHeaderSize +
                         BmpRowStride(static_cast<uint64_t>(picture.width)) * static_cast<uint64_t>(picture.height);
  if (say_size) {
    std::printf("%dx%d, %llu bytes\n", picture.width, picture.height, static_cast<unsigned long long>(bytes));
  }
  return 0;
}

int RunSnapshot(int argc, char** argv) {
  if (argc != 4 || std::strcmp(argv[2], "-o") != 0) {
    std::fputs("usage: vantorel-cli snapshot URL -o FILE.bmp\n", stderr);
    return 2;
  }
  ImageBitmap picture;
  const Failure failure = ClassifyFailure(Endpoint::kPicture, FetchHttpJpeg(argv[1], picture));
  if (picture.empty()) {
    std::fprintf(stderr, "vantorel-cli: no picture: %s\n", DescribeFailure(failure, true).c_str());
    return failure.failed() ? FailureExitCode(failure.reason) : 1;
  }
  return SaveBmp(argv[3], picture, true);
}

}  // namespace vantorel::cli
