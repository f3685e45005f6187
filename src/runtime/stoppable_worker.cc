#include "runtime/stoppable_worker.h"

#include <pthread.h>

#include <system_error>

#include "runtime/log.h"

namespace vantorel {

// One run's life, shared by its thread, its context and the worker; it outlives all three.
struct WorkerContext::Run {
  const std::shared_ptr<CancelToken> cancel = CancelToken::Create();
  StoppableWorker* owner = nullptr;
  std::mutex mutex;
  std::condition_variable changed;  // stop requested or ended
  bool stop = false;                // guarded by mutex
  bool ended = false;               // guarded by mutex

  void RequestStop() {
    {
      std::lock_guard lock(mutex);
      stop = true;
    }
    changed.notify_all();
  }
  bool WaitEnded(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex);
    return changed.wait_until(lock, deadline, [&] { return ended; });
  }
};

const std::shared_ptr<CancelToken>& WorkerContext::cancel() const { return run_->cancel; }

bool WorkerContext::StopRequested() const {
  std::lock_guard lock(run_->mutex);
  return run_->stop;
}

bool WorkerContext::WaitForStop(std::chrono::milliseconds limit) {
  std::unique_lock lock(run_->mutex);
  return run_->changed.wait_for(lock, limit, [&] { return run_->stop; });
}

void WorkerContext::Report(WorkerState state) { run_->owner->Publish({state, {}}); }

void WorkerContext::ReportFailure(const Failure& failure) { run_->owner->Publish({WorkerState::kFailed, failure}); }

StoppableWorker::StoppableWorker(std::string name, WorkerObserver observer)
    : name_(std::move(name)), observer_(std::move(observer)) {}

StoppableWorker::~StoppableWorker() {
  std::shared_ptr<WorkerContext::Run> run;
  {
    std::lock_guard lock(mutex_);
    run = run_;
  }
  if (run) {
    run->RequestStop();
    run->cancel->Cancel();
  }
  // The latest thread joins the one before it, so this collects them all.
  std::thread thread;
  {
    std::lock_guard lock(mutex_);
    thread = std::move(thread_);
  }
  if (thread.joinable()) thread.join();
  // Each watchdog ends as soon as its run has ended.
  for (auto& [watchdog, run_of] : watchdogs_) watchdog.join();
}

bool StoppableWorker::Start(Job job) {
  std::lock_guard lock(mutex_);
  if (run_) {
    std::lock_guard run_lock(run_->mutex);
    if (!run_->stop && !run_->ended) return false;
  }
  auto run = std::make_shared<WorkerContext::Run>();
  run->owner = this;
  // Held through a shared_ptr so that it can be taken back if the new thread fails.
  auto previous = std::make_shared<std::thread>(std::move(thread_));
  try {
    thread_ = std::thread([this, run, previous, job = std::move(job)] {
      pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
      if (previous->joinable()) previous->join();
      WorkerContext context(run);
      if (!context.StopRequested()) {
        job(context);
        // A job that failed by itself keeps its reason on show; any other end is idle.
        if (status().state != WorkerState::kFailed || context.StopRequested()) Publish({});
      }
      {
        std::lock_guard run_lock(run->mutex);
        run->ended = true;
      }
      run->changed.notify_all();
    });
  } catch (const std::system_error& e) {
    LogFailure("%s: cannot create the worker thread: %s", name_.c_str(), e.what());
    thread_ = std::move(*previous);
    return false;
  }
  run_ = std::move(run);
  return true;
}

void StoppableWorker::RequestStop(std::chrono::milliseconds cancel_after) {
  std::shared_ptr<WorkerContext::Run> run;
  {
    std::lock_guard lock(mutex_);
    run = run_;
  }
  if (!run) return;
  run->RequestStop();
  if (cancel_after.count() <= 0) {
    run->cancel->Cancel();
    return;
  }
  // The watchdog waits for this run's end and cancels it if it is late; it ends with the
  // run at the latest. Those whose run has ended are collected here (at once), the rest
  // when the worker goes.
  std::lock_guard lock(mutex_);
  std::erase_if(watchdogs_, [](auto& entry) {
    {
      std::lock_guard run_lock(entry.second->mutex);
      if (!entry.second->ended) return false;
    }
    entry.first.join();
    return true;
  });
  try {
    std::thread watchdog([run, deadline = std::chrono::steady_clock::now() + cancel_after] {
      if (!run->WaitEnded(deadline)) run->cancel->Cancel();
    });
    watchdogs_.emplace_back(std::move(watchdog), run);
  } catch (const std::system_error&) {
    run->cancel->Cancel();
  }
}

bool StoppableWorker::WaitStopped(std::chrono::steady_clock::time_point deadline) {
  std::shared_ptr<WorkerContext::Run> run;
  {
    std::lock_guard lock(mutex_);
    run = run_;
  }
  if (run && !run->WaitEnded(deadline)) return false;
  JoinFinished();
  return true;
}

void StoppableWorker::JoinFinished() {
  std::lock_guard lock(mutex_);
  if (!run_) return;
  {
    std::lock_guard run_lock(run_->mutex);
    if (!run_->ended) return;
  }
  if (thread_.joinable()) thread_.join();  // it has ended: at once
}

bool StoppableWorker::Active() const {
  std::lock_guard lock(mutex_);
  if (!run_) return false;
  std::lock_guard run_lock(run_->mutex);
  return !run_->stop && !run_->ended;
}

WorkerStatus StoppableWorker::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

void StoppableWorker::Publish(const WorkerStatus& status) {
  {
    std::lock_guard lock(mutex_);
    if (status_ == status) return;
    status_ = status;
  }
  if (observer_) observer_(status);
}

}  // namespace vantorel
