#pragma once
// The output's queue: pieces of samples played back to back, in a ring made once. Writing
// and playing never allocate, so the device's thread never waits on an allocation. Not
// locked: its owner (the SDL output) guards it.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace vantorel {

class SampleRing {
 public:
  // Room for `pieces` pieces and `samples` samples in all.
  SampleRing(size_t pieces, size_t samples) : piece_ends_(pieces), samples_(samples) {}

  // Appends a piece; false, nothing appended, when it does not fit beside what waits.
  bool Write(std::span<const int16_t> piece);
  // Fills `out` with the next samples, silence after the last one.
  void Fill(std::span<int16_t> out);
  // Pieces not yet played to their end.
  size_t Pending() const { return static_cast<size_t>(pieces_ - played_pieces_); }

 private:
  std::vector<uint64_t> piece_ends_;  // where each waiting piece ends, in samples written
  std::vector<int16_t> samples_;
  uint64_t written_ = 0;              // samples written, ever
  uint64_t played_ = 0;               // samples played, ever
  uint64_t pieces_ = 0;               // pieces written, ever
  uint64_t played_pieces_ = 0;        // pieces played to their end, ever
};

}  // namespace vantorel
