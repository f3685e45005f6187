// vantorel-cli watch URL --count N [-o FILE.bmp]: the refresh worker's cycle until N
// pictures or failures, with the rate of pictures, the connections and the failures; -o
// saves the last picture. A URL that names a picture stream gives its frames as pictures.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>

#include "commands.h"
#include "image/current_image.h"
#include "image/image_worker.h"
#include "net/sign_in_memory.h"
#include "cli/failure_text.h"
#include "station/retry_loop.h"
#include "station/status_meaning.h"

namespace vantorel::cli {

int RunWatch(int argc, char** argv) {
  const char* url = nullptr;
  const char* output = nullptr;
  long count = -1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc) {
      char* end = nullptr;
      count = std::strtol(argv[++i], &end, 10);
      if (*end || count < 1) count = -1;
    } else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      output = argv[++i];
    } else if (!url && argv[i][0] != '-') {
      url = argv[i];
    } else {
      url = nullptr;
      break;
    }
  }
  if (!url || count < 1) {
    std::fputs("usage: vantorel-cli watch URL --count N [-o FILE.bmp]\n", stderr);
    return 2;
  }
  CurrentImage image;
  // One kept connection, body buffer and decode target, as the picture worker has.
  PictureRefresher refresher(image, nullptr);
  SignInMemory sign_ins;  // no Basic once the camera has taken Digest
  refresher.RememberSignIns(&sign_ins);
  long failed = 0;
  const auto more = [&] { return static_cast<long>(refresher.pictures()) + failed < count; };
  refresher.OnStreamFrame(more);

  std::map<std::string, int> failures;  // reason -> how often
  std::string why;
  const auto start = std::chrono::steady_clock::now();
  // After a failure, the picture worker's pause: a camera that refuses at once is not asked
  // thousands of times a second.
  RetryPause pause(kPicturePolicy);
  while (more()) {
    const auto began = std::chrono::steady_clock::now();
    const Failure failure = ClassifyFailure(Endpoint::kPicture, refresher.Refresh(url));
    if (!failure.failed()) {
      pause.Succeeded();
    } else {
      ++failed;
      why = DescribeFailure(failure, true);
      ++failures[why];
      if (more()) std::this_thread::sleep_for(pause.After(began));
    }
  }
  const long stills = static_cast<long>(refresher.pictures());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.1f stills/s (%ld of %ld in %.3f s, %ld connection%s)\n", seconds > 0 ? stills / seconds : 0.0,
              stills, count, seconds, refresher.connections(), refresher.connections() == 1 ? "" : "s");
  for (const auto& [reason, n] : failures) std::printf("failed %d times: %s\n", n, reason.c_str());

  const ImageBitmap last = image.Copy();
  if (last.empty()) {
    std::fprintf(stderr, "vantorel-cli: no picture: %s\n", why.c_str());
    return 1;
  }
  return output ? SaveBmp(output, last, false) : 0;
}

}  // namespace vantorel::cli
