#include "runtime/cancel_token.h"

namespace vantorel {

void CancelToken::Cancel() {
  std::lock_guard lock(mutex_);
  cancelled_.store(true, std::memory_order_release);
  for (const Entry& e : attached_) e.wake(e.context);
}

bool CancelToken::Attach(Waker wake, void* context) {
  std::lock_guard lock(mutex_);
  if (cancelled_.load(std::memory_order_relaxed)) return false;
  attached_.push_back({wake, context});
  return true;
}

void CancelToken::Detach(void* context) {
  std::lock_guard lock(mutex_);
  std::erase_if(attached_, [context](const Entry& e) { return e.context == context; });
}

}  // namespace vantorel
