#pragma once
// A host without a window, for the CLI and the tests: posted tasks wait in a queue until
// the owning thread (the "window thread") runs them; repaints and error boxes are counted.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/host.h"

namespace vantorel {

class HeadlessHost : public Host {
 public:
  void RequestRepaint() override;
  void PostToWindow(std::function<void()> task) override;
  void ShowErrorBox(std::string_view caption, std::string_view text) override;

  // Runs every task posted so far, in order. Returns how many ran.
  int RunPending();
  // Runs tasks as they arrive until `timeout` has passed or `done()` is true
  // (checked after each task and on every wake-up).
  void RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

  int RepaintRequests() const;
  // Captions of the error boxes shown, in order.
  std::vector<std::string> ErrorBoxCaptions() const;
  // Texts of the error boxes shown, in order.
  std::vector<std::string> ErrorBoxTexts() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
  int repaints_ = 0;
  std::vector<std::string> captions_;
  std::vector<std::string> texts_;
};

// Sets `host` as the program's host for the life of this object, then clears it.
class ScopedHost {
 public:
  explicit ScopedHost(Host* host) { SetHost(host); }
  ~ScopedHost() { SetHost(nullptr); }
  ScopedHost(const ScopedHost&) = delete;
  ScopedHost& operator=(const ScopedHost&) = delete;
};

}  // namespace vantorel
