#pragma once
// Polls a condition for tests that wait on another thread's progress.

#include <chrono>
#include <thread>

namespace vantorel::test {

// True as soon as `done()` holds, checked every millisecond; false after `limit`.
template <typename Done>
bool WaitFor(Done done, std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace vantorel::test
