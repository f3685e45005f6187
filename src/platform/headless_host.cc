#include "platform/headless_host.h"

#include <algorithm>

#include "platform/log.h"

namespace vantorel {

void HeadlessHost::RequestRepaint() {
  std::lock_guard lock(mutex_);
  ++repaints_;
}

void HeadlessHost::PostToWindow(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  posted_.notify_all();
}

void HeadlessHost::ShowErrorBox(std::string_view caption, std::string_view text) {
  {
    std::lock_guard lock(mutex_);
    captions_.emplace_back(caption);
    texts_.emplace_back(text);
  }
  LogFailure("%.*s: %.*s", static_cast<int>(caption.size()), caption.data(),
             static_cast<int>(text.size()), text.data());
}

int HeadlessHost::RunPending() {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(tasks_);
  }
  for (auto& task : batch) task();
  return static_cast<int>(batch.size());
}

void HeadlessHost::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      // `done` may change without a post (another thread's flag): look again every 10 ms.
      const auto wake = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(10));
      posted_.wait_until(lock, wake, [&] { return !tasks_.empty(); });
      if (!tasks_.empty()) {
        task = std::move(tasks_.front());
        tasks_.pop_front();
      } else if (std::chrono::steady_clock::now() >= deadline) {
        return;
      }
    }
    if (task) task();
  }
}

int HeadlessHost::RepaintRequests() const {
  std::lock_guard lock(mutex_);
  return repaints_;
}

std::vector<std::string> HeadlessHost::ErrorBoxCaptions() const {
  std::lock_guard lock(mutex_);
  return captions_;
}

std::vector<std::string> HeadlessHost::ErrorBoxTexts() const {
  std::lock_guard lock(mutex_);
  return texts_;
}

}  // namespace vantorel
