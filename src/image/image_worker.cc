#include "image/image_worker.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "image/current_image.h"
#include "platform/host.h"
#include "platform/log.h"
#include "settings/camera_urls.h"

namespace vantorel {

namespace {

constexpr auto kStopWait = std::chrono::milliseconds(1000);
// After a failed refresh: an unreachable camera fails at once, and without a pause the
// worker would retry (and ask for repaints) thousands of times a second.
constexpr auto kRetryPause = std::chrono::milliseconds(100);

// One worker's life, shared by its thread and the stopper; it outlives both.
struct WorkerRun {
  std::atomic<bool> go{true};
  const std::shared_ptr<CancelToken> cancel = CancelToken::Create();
  std::mutex mutex;
  std::condition_variable changed;  // `go` cleared or `ended` set
  bool ended = false;               // guarded by mutex

  void RequestStop() {
    {
      std::lock_guard lock(mutex);
      go.store(false);
    }
    changed.notify_all();
    cancel->Cancel();
  }
};

struct WorkerControl {
  // One start or stop at a time. A flag under a plain mutex rather than std::timed_mutex,
  // whose timed lock ThreadSanitizer cannot follow.
  std::mutex mutex;
  std::condition_variable idle;
  bool busy = false;

  std::thread thread;               // the worker, or one still ending after a stop
  std::shared_ptr<WorkerRun> run;   // set with `thread`
  std::atomic<bool> running{false}; // ImageWorkerRunning()
};

// Never destroyed: it may hold a thread still ending when the program exits, and
// destroying a joinable std::thread would end the process.
WorkerControl& Control() {
  static auto* const control = new WorkerControl;
  return *control;
}

int ImageWorker(const std::shared_ptr<WorkerRun>& run) {
  FetchControl fetch;
  fetch.cancel = run->cancel;
  do {
    const int result = RefreshImage(fetch);
    if (Host* host = GetHost()) host->RequestRepaint();
    if (result < 0) {
      std::unique_lock lock(run->mutex);
      run->changed.wait_for(lock, kRetryPause, [&] { return !run->go.load(); });
    } else {
      std::this_thread::yield();
    }
  } while (run->go.load());
  {
    std::lock_guard lock(run->mutex);
    run->ended = true;
  }
  run->changed.notify_all();
  return 1;
}

// Holds WorkerControl::busy for its lifetime, if it could take it (by the deadline, when
// one is given).
class ControlTurn {
 public:
  explicit ControlTurn(WorkerControl& c, std::optional<std::chrono::steady_clock::time_point> deadline = {})
      : c_(c) {
    std::unique_lock lock(c_.mutex);
    const auto free = [&] { return !c_.busy; };
    if (deadline) {
      held_ = c_.idle.wait_until(lock, *deadline, free);
    } else {
      c_.idle.wait(lock, free);
      held_ = true;
    }
    if (held_) c_.busy = true;
  }
  ~ControlTurn() {
    if (!held_) return;
    {
      std::lock_guard lock(c_.mutex);
      c_.busy = false;
    }
    c_.idle.notify_all();
  }
  ControlTurn(const ControlTurn&) = delete;
  ControlTurn& operator=(const ControlTurn&) = delete;
  bool held() const { return held_; }

 private:
  WorkerControl& c_;
  bool held_ = false;
};

// With the control turn held: joins a stopped worker's thread and forgets it.
void JoinStopped(WorkerControl& c) {
  if (c.thread.joinable()) c.thread.join();
  c.run.reset();
}

}  // namespace

int RefreshImage(const FetchControl& control) {
  uint32_t size = 0;
  ImageBitmapPtr bitmap = LoadImageFromSource(kImageSourceType, GetImageUrl(), size, control);
  if (!bitmap) return -1;
  ReplaceCurrentImage(std::move(bitmap));
  return static_cast<int>(size);
}

void StartImageWorker() {
  WorkerControl& c = Control();
  const ControlTurn turn(c);
  if (c.run && c.run->go.load()) return;  // the running worker stays the only one
  JoinStopped(c);                         // cancelled earlier: ends within its current step
  auto run = std::make_shared<WorkerRun>();
  try {
    c.thread = std::thread([run] { ImageWorker(run); });
  } catch (const std::system_error& e) {
    LogFailure("image worker: cannot create the thread: %s", e.what());
    c.running.store(false);
    return;
  }
  c.run = std::move(run);
  c.running.store(true);
}

int StopImageWorker() {
  const auto deadline = std::chrono::steady_clock::now() + kStopWait;
  WorkerControl& c = Control();
  const ControlTurn turn(c, deadline);
  if (!turn.held()) {
    LogFailure("image worker: stop gave up waiting for a start or stop in progress");
    return 0;
  }
  c.running.store(false);
  if (!c.run) return 0;
  WorkerRun& run = *c.run;
  run.RequestStop();
  std::unique_lock run_lock(run.mutex);
  const bool ended = run.changed.wait_until(run_lock, deadline, [&] { return run.ended; });
  run_lock.unlock();
  if (ended) {
    JoinStopped(c);
  } else {
    LogFailure("image worker: still ending after 1000 ms");
  }
  return 0;
}

bool ImageWorkerRunning() { return Control().running.load(); }

void JoinImageWorker() {
  WorkerControl& c = Control();
  const ControlTurn turn(c);
  c.running.store(false);
  if (c.run) c.run->RequestStop();
  JoinStopped(c);
}

}  // namespace vantorel
