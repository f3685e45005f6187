#pragma once
// Room for one still's body at a time: the whole bound reserved as address space, made
// resident only as far as a body comes. No copy while it grows, and a camera that sends
// without end costs the bound, never more. The picture worker keeps one for all its stills,
// so that a still costs no mapping of its own (a map and an unmap per still were a tenth of
// the worker's time at a camera's pace); what a large still made resident beyond
// kKeptResident is returned to the system as soon as that still is done.

#include <cstddef>
#include <cstdint>
#include <span>

namespace vantorel {

class StillBuffer {
 public:
  // Body bytes moved from the transfer per read: there is always room for this many more
  // while size() is within `bound`.
  static constexpr size_t kReadBlock = 16 * 1024;
  static constexpr size_t kKeptResident = 256 * 1024;

  explicit StillBuffer(size_t bound);
  ~StillBuffer();
  StillBuffer(const StillBuffer&) = delete;
  StillBuffer& operator=(const StillBuffer&) = delete;

  bool ok() const { return data_ != nullptr; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  uint8_t* end() { return data_ + size_; }
  void Grow(size_t n) { size_ += n; }
  std::span<const uint8_t> bytes() const { return {data_, size_}; }

  // The still is done: empty again, and pages beyond kKeptResident go back to the system.
  void Clear();

 private:
  const size_t capacity_;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t touched_ = 0;  // the most bytes held since the last Clear
};

}  // namespace vantorel
