// Peak memory over 5,000 stills through FetchHttpJpeg: the resident set after 100 stills
// and after 5,000 should be the same (nothing accumulates per still).

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "fixed_camera.h"
#include "image/image_fetch.h"

namespace {

// A "VmRSS"/"VmHWM" line of /proc/self/status, in KiB.
long StatusKib(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field) + 1));
  }
  return -1;
}

}  // namespace

int main() {
  vantorel::bench::FixedCamera camera;
  std::printf("%8s %12s %12s\n", "stills", "VmRSS KiB", "VmHWM KiB");
  int failures = 0;
  for (int i = 1; i <= 5000; ++i) {
    vantorel::ImageBitmap picture;
    if (vantorel::FetchHttpJpeg(camera.url, picture).failed()) ++failures;
    if (i == 1 || i == 100 || i == 1000 || i == 2000 || i == 3000 || i == 4000 || i == 5000) {
      std::printf("%8d %12ld %12ld\n", i, StatusKib("VmRSS:"), StatusKib("VmHWM:"));
    }
  }
  std::printf("failures: %d\n", failures);
  return failures == 0 ? 0 : 1;
}
