#pragma once
// What a process holds, read from /proc and glibc: to check that a piece of work leaves no
// thread, file descriptor or heap behind.

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

namespace vantorel::test {

inline size_t CountEntries(const char* dir) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

inline size_t ThreadCount() { return CountEntries("/proc/self/task"); }
// Includes the descriptor that reads the directory.
inline size_t FdCount() { return CountEntries("/proc/self/fd"); }

// Bytes in use on the heap, over every arena, including large blocks that malloc maps.
inline size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// Resident memory of this process, in bytes (/proc/self/statm).
inline size_t ResidentBytes() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  unsigned long size = 0, resident = 0;
  const int got = std::fscanf(f, "%lu %lu", &size, &resident);
  std::fclose(f);
  return got == 2 ? resident * static_cast<size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

// Bytes in the regular files directly in `dir`.
inline size_t DirectoryBytes(const std::string& dir) {
  size_t total = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    std::error_code size_ec;
    const auto size = entry.is_regular_file(size_ec) ? entry.file_size(size_ec) : 0;
    if (!size_ec) total += size;
  }
  return total;
}

// Samples, every 2 ms on a thread of its own, the growth of resident memory over its start
// and the bytes in a directory; keeps the peaks. Stop() joins the thread.
class PeakSampler {
 public:
  explicit PeakSampler(std::string dir) : dir_(std::move(dir)), base_rss_(ResidentBytes()) {
    thread_ = std::thread([this] {
      while (!stop_.load()) {
        Sample();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      Sample();
    });
  }
  ~PeakSampler() { Stop(); }
  PeakSampler(const PeakSampler&) = delete;
  PeakSampler& operator=(const PeakSampler&) = delete;

  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  size_t peak_rss_growth() const { return peak_rss_.load(); }
  size_t peak_disk() const { return peak_disk_.load(); }

 private:
  void Sample() {
    const size_t rss = ResidentBytes();
    if (rss > base_rss_) peak_rss_ = std::max(peak_rss_.load(), rss - base_rss_);
    peak_disk_ = std::max(peak_disk_.load(), DirectoryBytes(dir_));
  }

  const std::string dir_;
  const size_t base_rss_;
  std::atomic<bool> stop_{false};
  std::atomic<size_t> peak_rss_{0}, peak_disk_{0};
  std::thread thread_;
};

}  // namespace vantorel::test
