#pragma once
// A second, deliberately plain G.726 32 kbit/s coder for the tests: each step written out
// as the standard states it, with 16-bit variables and linear table searches, sharing no
// code or tables with the library. It is the oracle the fast coder must match.

#include <cstdint>

#include "codec/g726.h"

namespace vantorel::reference {

void InitState(G726State& s);
int Encode(int sample, G726State& s);
// The full reconstructed value (sr << 2), not limited to 16 bits.
int Decode(int code, G726State& s);

}  // namespace vantorel::reference
