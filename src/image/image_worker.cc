#include "image/image_worker.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace vantorel {

namespace {

// After a failed refresh: an unreachable camera fails at once, and without a pause the
// worker would retry (and ask for repaints) thousands of times a second. The pause doubles
// with every failure in a row, up to kRetryPauseMost; the next picture resets it.
constexpr auto kRetryPause = std::chrono::milliseconds(100);
constexpr auto kRetryPauseMost = std::chrono::milliseconds(2000);

}  // namespace

int RefreshImage(CurrentImage& image, const std::string& url, const FetchControl& control) {
  uint32_t size = 0;
  ImageBitmapPtr bitmap = LoadImageFromSource(kImageSourceType, url, size, control);
  if (!bitmap) return -1;
  image.Replace(std::move(bitmap));
  return static_cast<int>(size);
}

void RunPictureWorker(WorkerContext& context, const PictureJob& job) {
  // One kept connection (and sign-in) for the worker's stills; a fresh one after a failure.
  HttpSession session;
  StillBuffer buffer(kMaxStillBytes);
  Failure failure;
  FetchControl fetch;
  fetch.buffer = &buffer;
  fetch.cancel = context.cancel();
  fetch.session = &session;
  fetch.outcome = &failure;
  auto pause = kRetryPause;
  context.Report(WorkerState::kConnecting);
  while (!context.StopRequested()) {
    const int result = RefreshImage(*job.image, job.url(), fetch);
    if (context.StopRequested()) break;
    if (result < 0) {
      context.ReportFailure(failure);
      if (job.repaint) job.repaint();
      context.WaitForStop(pause);
      pause = std::min(pause * 2, kRetryPauseMost);
    } else {
      context.Report(WorkerState::kRunning);
      if (job.repaint) job.repaint();
      pause = kRetryPause;
      std::this_thread::yield();
    }
  }
}

}  // namespace vantorel
