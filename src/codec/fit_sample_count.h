#pragma once
// Fits a block of 16-bit samples to another length by repeating or leaving out every k-th
// sample. The transmit side stretches 382 captured samples to the 400 of a G.726 part;
// playback shortens its 800-sample blocks when the output device falls behind.

#include <cstdint>

namespace vantorel {

// Writes `out_count` samples to `out` from the `in_count` samples of `in`. Equal counts
// copy. Shorter: step = in/(in - out); walking the input from index 0, every index that is
// a multiple of the step is left out (800 -> 798 leaves out 0 and 400). Longer:
// step = in/(out - in); every input sample is written once, and twice when its index is a
// multiple of the step, until `out_count` is reached (382 -> 400 doubles 0, 21, ... 378 and
// leaves out 381). Should the input run out, its last sample fills the rest; no input at
// all gives silence. `out` and `in` must not overlap.
void FitSampleCount(int16_t* out, const int16_t* in, int out_count, int in_count);

}  // namespace vantorel
