#pragma once
// What a process holds, read from /proc and glibc: to check that a piece of work leaves no
// thread, file descriptor or heap behind.

#include <malloc.h>

#include <cstddef>
#include <filesystem>

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

}  // namespace vantorel::test
