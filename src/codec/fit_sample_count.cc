#include "codec/fit_sample_count.h"

#include <algorithm>
#include <cstring>

namespace vantorel {

void FitSampleCount(int16_t* out, const int16_t* in, int out_count, int in_count) {
  if (out_count <= 0) return;
  if (in_count <= 0) {
    std::fill_n(out, out_count, int16_t{0});
    return;
  }
  if (out_count == in_count) {
    std::memcpy(out, in, sizeof(int16_t) * static_cast<size_t>(out_count));
    return;
  }
  const auto source = [&](int j) { return j < in_count ? in[j] : in[in_count - 1]; };
  if (out_count < in_count) {
    const int step = in_count / (in_count - out_count);  // at least 1
    int j = 0;
    for (int i = 0; i < out_count; ++i) {
      if (j % step == 0) ++j;
      out[i] = source(j);
      ++j;
    }
    return;
  }
  // Growing by more than the input's length would make the step 0: double every sample
  // then, and let the last one fill the rest.
  const int step = std::max(1, in_count / (out_count - in_count));
  int i = 0;
  for (int j = 0; i < out_count; ++j) {
    const int16_t sample = source(j);
    out[i++] = sample;
    if (j % step == 0 && i < out_count) out[i++] = sample;
  }
}

}  // namespace vantorel
