#pragma once
// The one way the station repeats a job (a still, a listening session, a talk request) and
// pauses between failures. Each attempt says how it ended with one classified Failure.

#include <chrono>
#include <functional>

#include "runtime/failure.h"
#include "runtime/stoppable_worker.h"
#include "station/status_meaning.h"

namespace vantorel {

// The pauses after failures: `first`, doubling with each failure in a row up to `most`,
// and back to `first` after a success, or, with `good_running`, after an attempt that ran
// that long (a stream that was fine for a minute before it dropped).
struct RetryPolicy {
  std::chrono::milliseconds first;
  std::chrono::milliseconds most;
  std::chrono::seconds good_running{0};
};

// The picture: a camera that refuses at once is asked again soon, but never thousands of
// times a second.
inline constexpr RetryPolicy kPicturePolicy{std::chrono::milliseconds(100), std::chrono::milliseconds(2000)};
// Listening and talking: a Wi-Fi hiccup or a camera restart comes back by itself.
// The most pictures a second the window shows: a screen shows no more, and a camera that
// answers tiny stills at once would otherwise keep a core busy.
inline constexpr std::chrono::milliseconds kPictureInterval{1000 / 30};
inline constexpr RetryPolicy kStreamPolicy{std::chrono::milliseconds(500), std::chrono::milliseconds(8000),
                                           std::chrono::seconds(60)};
// The call button's monitor stream: a press while it reconnects is lost when it is over by
// then, so a stream that ran 10 s (a camera or a proxy that closes long connections now and
// then) is followed by the short pause again; one that drops at once still backs off.
inline constexpr RetryPolicy kButtonPolicy{std::chrono::milliseconds(500), std::chrono::milliseconds(8000),
                                           std::chrono::seconds(10)};

class RetryPause {
 public:
  explicit RetryPause(const RetryPolicy& policy) : policy_(policy), next_(policy.first) {}
  // The pause after a failed attempt that began at `began`.
  std::chrono::milliseconds After(std::chrono::steady_clock::time_point began);
  void Succeeded() { next_ = policy_.first; }

 private:
  const RetryPolicy policy_;
  std::chrono::milliseconds next_;
};

struct RetryJob {
  Endpoint endpoint = Endpoint::kPicture;  // what an error status means
  RetryPolicy policy = kStreamPolicy;
  bool retry = false;       // come back after a failure; false: the first end ends the job
  bool repeat = false;      // a success goes straight on to the next attempt (the picture)
  bool final_ends = false;  // a refused sign-in, a wrong path or a missing device end the job
  // Successful attempts begin at least this far apart (0: straight on).
  std::chrono::milliseconds min_interval{0};
  std::function<Failure()> attempt;
  // Asked of a final failure when set: true keeps trying all the same (a sound output that
  // opened before and that another sound holds for a moment).
  std::function<bool(const Failure&)> passing = nullptr;
};

// Runs `job.attempt` until a stop, the end the job's flags call for, or a final failure.
// Each failure is classified for the job's endpoint and reported through `context`; a
// stop cuts a pause short.
void RunRetryLoop(WorkerContext& context, const RetryJob& job);

// Ends that retrying cannot mend: they are shown instead.
bool IsFinalFailure(FailureReason reason);

}  // namespace vantorel
