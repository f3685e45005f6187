#include "station/retry_loop.h"

#include <algorithm>

namespace vantorel {

std::chrono::milliseconds RetryPause::After(std::chrono::steady_clock::time_point began) {
  if (policy_.good_running.count() > 0 && std::chrono::steady_clock::now() - began >= policy_.good_running) {
    next_ = policy_.first;
  }
  const auto pause = next_;
  next_ = std::min(next_ * 2, policy_.most);
  return pause;
}

bool IsFinalFailure(FailureReason reason) {
  return reason == FailureReason::kSignInRefused || reason == FailureReason::kUnsafeSignIn ||
         reason == FailureReason::kNotFound ||
         reason == FailureReason::kNoAudioDevice;
}

void RunRetryLoop(WorkerContext& context, const RetryJob& job) {
  RetryPause pause(job.policy);
  while (!context.StopRequested()) {
    const auto began = std::chrono::steady_clock::now();
    const Failure failure = ClassifyFailure(job.endpoint, job.attempt());
    if (context.StopRequested() || failure.reason == FailureReason::kStopped) break;
    if (!failure.failed()) {
      pause.Succeeded();
      if (!job.repeat) break;
      const auto next = began + job.min_interval;
      if (job.min_interval.count() > 0 && next > std::chrono::steady_clock::now() &&
          context.WaitForStop(std::chrono::ceil<std::chrono::milliseconds>(next - std::chrono::steady_clock::now()))) {
        break;
      }
      continue;
    }
    context.ReportFailure(failure);
    const bool final = job.final_ends && IsFinalFailure(failure.reason) && !(job.passing && job.passing(failure));
    if (!job.retry || final) break;
    if (context.WaitForStop(pause.After(began))) break;
  }
}

}  // namespace vantorel
