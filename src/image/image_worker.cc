#include "image/image_worker.h"

#include <chrono>
#include <thread>

namespace vantorel {

namespace {

// After a failed refresh: an unreachable camera fails at once, and without a pause the
// worker would retry (and ask for repaints) thousands of times a second.
constexpr auto kRetryPause = std::chrono::milliseconds(100);

}  // namespace

int RefreshImage(CurrentImage& image, const std::string& url, const FetchControl& control) {
  uint32_t size = 0;
  ImageBitmapPtr bitmap = LoadImageFromSource(kImageSourceType, url, size, control);
  if (!bitmap) return -1;
  image.Replace(std::move(bitmap));
  return static_cast<int>(size);
}

void RunPictureWorker(WorkerContext& context, const PictureJob& job) {
  std::string failure;
  FetchControl fetch;
  fetch.cancel = context.cancel();
  fetch.failure = &failure;
  context.Report(WorkerState::kConnecting);
  while (!context.StopRequested()) {
    const int result = RefreshImage(*job.image, job.url(), fetch);
    if (job.repaint) job.repaint();
    if (context.StopRequested()) break;
    if (result < 0) {
      context.Report(WorkerState::kFailed, failure);
      context.WaitForStop(kRetryPause);
    } else {
      context.Report(WorkerState::kRunning);
      std::this_thread::yield();
    }
  }
}

}  // namespace vantorel
