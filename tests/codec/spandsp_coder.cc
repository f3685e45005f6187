#include "spandsp_coder.h"

#include <cmath>
#include <stdexcept>

extern "C" {
#include <spandsp/telephony.h>
#include <spandsp/g726.h>
}
#undef lrint
#undef lrintf

namespace vantorel {

// spandsp's "right" packing fills each byte from bit 0 upwards.
SpandspCoder::SpandspCoder(Packing packing)
    : coder_(g726_init(nullptr, 32000, G726_ENCODING_LINEAR,
                       packing == Packing::kNone ? G726_PACKING_NONE : G726_PACKING_RIGHT)) {
  if (coder_ == nullptr) throw std::runtime_error("g726_init failed");
}

SpandspCoder::~SpandspCoder() { g726_free(coder_); }

int SpandspCoder::Encode(uint8_t* out, const int16_t* samples, int count) {
  return g726_encode(coder_, out, samples, count);
}

int SpandspCoder::Decode(int16_t* out, const uint8_t* bytes, int length) {
  return g726_decode(coder_, out, bytes, length);
}

}  // namespace vantorel
