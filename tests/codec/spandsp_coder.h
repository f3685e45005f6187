#pragma once
// spandsp's G.726 at 32 kbit/s with 16-bit linear samples, behind a small C++ face: its
// headers define lrint as a macro for C++, so they stay inside spandsp_coder.cc.

#include <cstdint>

struct g726_state_s;  // spandsp's coder

namespace vantorel {

class SpandspCoder {
 public:
  enum class Packing {
    kNone,      // one code per byte
    kLowFirst,  // two per byte, the earlier in the low four bits
  };
  explicit SpandspCoder(Packing packing);
  ~SpandspCoder();
  SpandspCoder(const SpandspCoder&) = delete;
  SpandspCoder& operator=(const SpandspCoder&) = delete;

  // spandsp's own results: bytes written, samples written.
  int Encode(uint8_t* out, const int16_t* samples, int count);
  int Decode(int16_t* out, const uint8_t* bytes, int length);

 private:
  g726_state_s* coder_;
};

}  // namespace vantorel
