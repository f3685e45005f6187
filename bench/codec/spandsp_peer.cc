#include <cstdint>
#include <stdexcept>

#include "peers.h"

extern "C" {
#include <spandsp/telephony.h>
#include <spandsp/g726.h>
}
// spandsp defines these as macros for C++; nothing here needs them.
#undef lrint
#undef lrintf

namespace vantorel::bench {
namespace {

g726_state_t* NewCoder() {
  // "Right" packing fills each byte from bit 0 upwards: the earlier code in the low bits.
  g726_state_t* s = g726_init(nullptr, 32000, G726_ENCODING_LINEAR, G726_PACKING_RIGHT);
  if (s == nullptr) throw std::runtime_error("spandsp g726_init failed");
  return s;
}

}  // namespace

SpandspPeer::SpandspPeer() : encoder_(NewCoder()), decoder_(NewCoder()) {}

SpandspPeer::~SpandspPeer() {
  g726_free(encoder_);
  g726_free(decoder_);
}

int SpandspPeer::Encode(uint8_t* out, const int16_t* samples, int count) {
  return g726_encode(encoder_, out, samples, count);
}

int SpandspPeer::Decode(int16_t* out, const uint8_t* bytes, int length) {
  return g726_decode(decoder_, out, bytes, length);
}

}  // namespace vantorel::bench
