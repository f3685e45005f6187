#include "audio_tx/transmit_worker.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>

#include "audio_tx/capture_ring.h"
#include "audio_tx/transmit_body.h"
#include "platform/cancel_token.h"
#include "platform/http_post.h"
#include "platform/log.h"
#include "settings/camera_urls.h"

namespace vantorel {

namespace {

using std::chrono::milliseconds;

// The stopper's whole wait, and the moment within it when an unanswered request is cut.
constexpr milliseconds kStopWait{1000};
constexpr milliseconds kCancelAfter{900};
// How long the worker itself waits for the camera's answer after the last part, so that
// the usual end (a camera that only answers when the connection closes) comes before the
// stopper has to cancel.
constexpr milliseconds kAnswerWait{800};

}  // namespace

// One worker's life, shared by its thread and the handle; it outlives both.
struct TransmitRun {
  const std::shared_ptr<CancelToken> cancel = CancelToken::Create();
  std::mutex mutex;
  std::condition_variable changed;
  bool ended = false;     // guarded by mutex
  TransmitReport report;  // guarded by mutex

  void End(const TransmitReport& r) {
    {
      std::lock_guard lock(mutex);
      report = r;
      ended = true;
    }
    changed.notify_all();
  }
};

namespace {

// The body's pieces go into the POST request; the outcome is noted for the report.
class RequestSink : public TransmitSink {
 public:
  RequestSink(HttpPost& post, TransmitReport& report) : post_(post), report_(report) {}

  bool Send() override {
    report_.sent = post_.Send();
    if (!report_.sent) Fail();
    return report_.sent;
  }

  bool Write(const uint8_t* data, size_t size) override {
    const bool ok = post_.Write(data, size);
    ++report_.writes;
    if (!ok) {
      ++report_.failed_writes;
      Fail();
    }
    return ok;
  }

  void End() override {
    post_.End(kAnswerWait);
    report_.answer = post_.ResponseCode();
    if (report_.answer >= 300 && report_.error.empty()) {
      report_.error = "the camera answered " + std::to_string(report_.answer);
    }
  }

 private:
  // Only the first failure is logged: a camera that is gone fails every later write too.
  void Fail() {
    if (!report_.error.empty()) return;
    report_.error = post_.ResponseCode() != 0 ? "the camera answered " + std::to_string(post_.ResponseCode())
                                              : post_.Error();
    LogFailure("transmit: %s", report_.error.c_str());
  }

  HttpPost& post_;
  TransmitReport& report_;
};

void TransmitWorker(const std::shared_ptr<TransmitRun>& run) {
  pthread_setname_np(pthread_self(), "vantorel-tx");  // for top -H and the benchmark
  TransmitReport report;
  {
    HttpPost post(run->cancel);
    report.opened = post.Open(GetTransmitUrl(), kTransmitUserAgent, kTransmitAnnouncedLength);
    if (report.opened) {
      RequestSink sink(post, report);
      SendTransmitBody(sink);
    } else {
      report.error = post.Error();
      LogFailure("transmit: %s", report.error.c_str());
    }
  }  // the connection closes here, before the stopper hears of the end
  run->End(report);
}

// Waits until the worker has ended or `deadline` has passed; true when it has ended.
bool WaitForEnd(TransmitRun& run, std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(run.mutex);
  return run.changed.wait_until(lock, deadline, [&] { return run.ended; });
}

}  // namespace

TransmitHandle& TransmitHandle::operator=(TransmitHandle&& other) noexcept {
  if (this != &other) {
    JoinTransmit(*this);
    run_ = std::move(other.run_);
    thread_ = std::move(other.thread_);
  }
  return *this;
}

TransmitHandle::~TransmitHandle() { JoinTransmit(*this); }

bool TransmitHandle::Ended() const {
  if (!run_) return true;
  std::lock_guard lock(run_->mutex);
  return run_->ended;
}

TransmitReport TransmitHandle::Report() const {
  if (!run_) return {};
  std::lock_guard lock(run_->mutex);
  return run_->report;
}

TransmitHandle StartTransmit() {
  TransmitHandle handle;
  auto run = std::make_shared<TransmitRun>();
  try {
    handle.thread_ = std::thread([run] { TransmitWorker(run); });
  } catch (const std::system_error& e) {
    LogFailure("transmit: cannot create the worker thread: %s", e.what());
    return handle;
  }
  handle.run_ = std::move(run);
  return handle;
}

void StopTransmit(TransmitHandle& handle) {
  const auto start = std::chrono::steady_clock::now();
  SetTransmitStop();
  if (!handle.run_) return;
  TransmitRun& run = *handle.run_;
  if (!WaitForEnd(run, start + kCancelAfter)) {
    run.cancel->Cancel();  // the camera has not answered: stop waiting for it
    if (!WaitForEnd(run, start + kStopWait)) {
      LogFailure("transmit: the worker is still ending after %lld ms",
                 static_cast<long long>(kStopWait.count()));
      return;
    }
  }
  if (handle.thread_.joinable()) handle.thread_.join();  // it has ended: this is at once
}

void JoinTransmit(TransmitHandle& handle) {
  if (!handle.thread_.joinable()) return;
  SetTransmitStop();
  handle.run_->cancel->Cancel();
  handle.thread_.join();
}

}  // namespace vantorel
