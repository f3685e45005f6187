#pragma once
// One thread that runs a job until it is asked to stop: the shape of the picture, listen and
// talk workers.
//
// - Start() runs the job on a new thread unless a run is active; a run that was asked to
//   stop but is still ending is not waited for: the new thread waits for it, so Start()
//   never blocks and two runs never overlap.
// - RequestStop() returns at once. The job sees it through its context; the run's cancel
//   token ends a transfer under way, at once or after a grace period.
// - WaitStopped() waits, up to a deadline, until no thread runs.
// - The destructor stops and joins: no thread outlives the object.
// - The job reports its state (connecting, running, failed with a reason) through its
//   context; the observer hears every change, on the reporting thread.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "runtime/cancel_token.h"
#include "runtime/failure.h"

namespace vantorel {

enum class WorkerState { kIdle, kConnecting, kRunning, kFailed };

struct WorkerStatus {
  WorkerState state = WorkerState::kIdle;
  Failure failure;  // why, for kFailed
  bool operator==(const WorkerStatus&) const = default;
};

using WorkerObserver = std::function<void(const WorkerStatus&)>;

class StoppableWorker;

// What a running job sees of its worker.
class WorkerContext {
 public:
  // Cancelled when the stop takes effect on transfers (see RequestStop).
  const std::shared_ptr<CancelToken>& cancel() const;
  bool StopRequested() const;
  // Waits until a stop is requested or `limit` has passed; true when stopping.
  bool WaitForStop(std::chrono::milliseconds limit);
  void Report(WorkerState state);
  // kFailed with a classified failure.
  void ReportFailure(const Failure& failure);

 private:
  friend class StoppableWorker;
  struct Run;
  explicit WorkerContext(std::shared_ptr<Run> run) : run_(std::move(run)) {}
  std::shared_ptr<Run> run_;
};

class StoppableWorker {
 public:
  using Job = std::function<void(WorkerContext&)>;

  // `name` names the thread (top -H, the benchmarks); at most 15 characters.
  explicit StoppableWorker(std::string name, WorkerObserver observer = {});
  ~StoppableWorker();
  StoppableWorker(const StoppableWorker&) = delete;
  StoppableWorker& operator=(const StoppableWorker&) = delete;

  // False when a run is active (it stays the only one) or no thread can be made.
  bool Start(Job job);
  // Asks the active run to stop and returns at once. Its cancel token is cancelled at once,
  // or, with `cancel_after` > 0, only if the run has not ended by then (a job that ends
  // gracefully, such as a talk waiting for the camera's answer).
  void RequestStop(std::chrono::milliseconds cancel_after = std::chrono::milliseconds(0));
  // Waits until every run has ended, or the deadline; true when none runs.
  bool WaitStopped(std::chrono::steady_clock::time_point deadline);
  // Started and not asked to stop.
  bool Active() const;
  // The last reported state (kIdle after a run ends without failing).
  WorkerStatus status() const;

 private:
  friend class WorkerContext;
  void Publish(const WorkerStatus& status);
  void JoinFinished();

  const std::string name_;
  const WorkerObserver observer_;
  mutable std::mutex mutex_;
  WorkerStatus status_;                         // guarded by mutex_
  std::shared_ptr<WorkerContext::Run> run_;     // the latest run; guarded by mutex_
  std::thread thread_;                          // its thread; guarded by mutex_
  // Delayed cancels of graceful stops, each with its run; guarded by mutex_.
  std::vector<std::pair<std::thread, std::shared_ptr<WorkerContext::Run>>> watchdogs_;
};

}  // namespace vantorel
