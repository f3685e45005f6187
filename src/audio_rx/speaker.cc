#include "audio_rx/speaker.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/log.h"

namespace vantorel {

namespace {

constexpr auto kStopWait = std::chrono::milliseconds(1000);

// One worker's life, shared by its thread and the stoppers; it outlives both. Each worker
// has its own stop token, so a stop meant for one worker never ends the next, and a stop
// that comes before the worker has begun is not lost.
struct SpeakerRun {
  const std::shared_ptr<CancelToken> stop = CancelToken::Create();
  std::mutex mutex;
  std::condition_variable ended;
  std::optional<int> exit_code;  // guarded by mutex; set as the thread ends

  std::optional<int> WaitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex);
    ended.wait_until(lock, deadline, [&] { return exit_code.has_value(); });
    return exit_code;
  }
};

struct SpeakerControl {
  // Held only for short steps, never while waiting for a worker to end (joining a worker
  // whose exit code is set takes no time).
  std::mutex mutex;
  std::atomic<bool> running{false};  // SpeakerRunning
  std::thread thread;                // the latest worker; guarded by mutex
  std::shared_ptr<SpeakerRun> run;   // the latest worker's run; guarded by mutex
};

// Never destroyed: it may hold a thread still ending when the program exits, and
// destroying a joinable std::thread would end the process.
SpeakerControl& Control() {
  static auto* const control = new SpeakerControl;
  return *control;
}

// The latest worker's run, or null before the first start.
std::shared_ptr<SpeakerRun> LatestRun() {
  SpeakerControl& c = Control();
  std::lock_guard lock(c.mutex);
  return c.run;
}

// The worker thread. `previous` is the worker before it, stopped and perhaps still ending:
// two sessions would share the output device and the play blocks, so this one begins only
// after that thread has ended.
void WorkerThread(SpeakerRun& run, std::thread& previous, const FrameSink& sink) {
  if (previous.joinable()) previous.join();
  const int code = ReceiveWorker(run.stop, sink);
  ReleaseAudioThreadState();  // the session's output was opened and closed on this thread
  {
    std::lock_guard lock(run.mutex);
    run.exit_code = code;
  }
  run.ended.notify_all();
}

}  // namespace

int StartSpeaker() { return StartSpeaker(PlaybackSink()); }

int StartSpeaker(FrameSink sink) {
  SpeakerControl& c = Control();
  std::lock_guard lock(c.mutex);
  if (c.running.load()) return 0;
  c.running.store(true);
  auto run = std::make_shared<SpeakerRun>();
  // Held through a shared_ptr so that it can be taken back if the new thread fails.
  auto previous = std::make_shared<std::thread>(std::move(c.thread));
  try {
    c.thread = std::thread([run, previous, sink = std::move(sink)] { WorkerThread(*run, *previous, sink); });
  } catch (const std::system_error& e) {
    LogFailure("speaker: cannot create the worker thread: %s", e.what());
    c.thread = std::move(*previous);
    c.running.store(false);
    return 0;
  }
  c.run = std::move(run);
  return 1;
}

void RequestSpeakerStop() {
  SpeakerControl& c = Control();
  std::lock_guard lock(c.mutex);
  c.running.store(false);
  if (c.run) c.run->stop->Cancel();
}

void StopSpeaker() {
  const auto deadline = std::chrono::steady_clock::now() + kStopWait;
  RequestSpeakerStop();
  const std::shared_ptr<SpeakerRun> run = LatestRun();
  if (!run) return;
  if (!run->WaitUntil(deadline)) {
    // It ends on its own; the next start or JoinSpeaker() collects its thread.
    LogFailure("speaker: the worker is still ending after 1000 ms");
    return;
  }
  SpeakerControl& c = Control();
  std::lock_guard lock(c.mutex);
  // Unless a new start has chained it behind a newer worker meanwhile.
  if (c.run == run && c.thread.joinable()) c.thread.join();
}

bool SpeakerRunning() { return Control().running.load(); }

std::optional<int> WaitSpeakerEnd(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  const std::shared_ptr<SpeakerRun> run = LatestRun();
  if (!run) return std::nullopt;
  return run->WaitUntil(deadline);
}

void JoinSpeaker() {
  RequestSpeakerStop();
  SpeakerControl& c = Control();
  std::lock_guard lock(c.mutex);
  // The latest worker joins the one before it first, so this covers them all.
  if (c.thread.joinable()) c.thread.join();
}

}  // namespace vantorel
