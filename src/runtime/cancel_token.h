#pragma once
// A cancel request shared between a thread that runs transfers and one that wants them ended.
//
// The stopper and the worker each hold a std::shared_ptr to the token, so the stopper can
// cancel at any moment, even while the worker is tearing its transfer down: the token
// outlives both. Transfers register a waker while they run; Cancel() calls every registered
// waker under the token's lock, and Detach() takes the same lock, so no waker is ever called
// for a transfer that has already gone.

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace vantorel {

class CancelToken {
 public:
  using Waker = void (*)(void* context);

  static std::shared_ptr<CancelToken> Create() { return std::make_shared<CancelToken>(); }

  // Any thread, any number of times. From now on Cancelled() is true; every attached
  // transfer is woken so that it can notice.
  void Cancel();
  bool Cancelled() const { return cancelled_.load(std::memory_order_acquire); }

  // For transfers: `wake(context)` is called (under the token's lock) when Cancel() runs.
  // Returns false, and attaches nothing, when the token is already cancelled.
  bool Attach(Waker wake, void* context);
  // After this returns, `wake` is not running and will not run for `context`.
  void Detach(void* context);

 private:
  struct Entry {
    Waker wake;
    void* context;
  };
  std::atomic<bool> cancelled_{false};
  std::mutex mutex_;
  std::vector<Entry> attached_;
};

}  // namespace vantorel
