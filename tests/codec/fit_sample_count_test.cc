#include "codec/fit_sample_count.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace vantorel {
namespace {

std::vector<int16_t> Ramp(int count) {
  std::vector<int16_t> v(static_cast<size_t>(count));
  std::iota(v.begin(), v.end(), int16_t{0});
  return v;
}

std::vector<int16_t> Fit(const std::vector<int16_t>& in, int out_count) {
  // One guard sample behind the output catches a write past its end.
  std::vector<int16_t> out(static_cast<size_t>(out_count) + 1, int16_t{-7});
  FitSampleCount(out.data(), in.data(), out_count, static_cast<int>(in.size()));
  EXPECT_EQ(out.back(), -7) << "wrote past " << out_count << " samples";
  out.pop_back();
  return out;
}

TEST(FitSampleCountTest, Stretches382To400DoublingEvery21stSample) {
  const auto out = Fit(Ramp(382), 400);
  std::vector<int16_t> expected;
  for (int j = 0; j <= 380; ++j) {
    expected.push_back(static_cast<int16_t>(j));
    if (j % 21 == 0) expected.push_back(static_cast<int16_t>(j));
  }
  ASSERT_EQ(expected.size(), 400u);
  EXPECT_EQ(out, expected);
  // The ends as they are easy to check by eye: 0, 0, 1, 2 ... 378, 378, 379, 380.
  EXPECT_EQ((std::vector<int16_t>(out.begin(), out.begin() + 4)), (std::vector<int16_t>{0, 0, 1, 2}));
  EXPECT_EQ((std::vector<int16_t>(out.end() - 4, out.end())), (std::vector<int16_t>{378, 378, 379, 380}));
  EXPECT_EQ(out[21], 20);
  EXPECT_EQ(out[22], 21);
  EXPECT_EQ(out[23], 21);
}

TEST(FitSampleCountTest, Shrinks800To798LeavingOutSamples0And400) {
  const auto out = Fit(Ramp(800), 798);
  std::vector<int16_t> expected;
  for (int j = 0; j < 800; ++j) {
    if (j != 0 && j != 400) expected.push_back(static_cast<int16_t>(j));
  }
  EXPECT_EQ(out, expected);
}

TEST(FitSampleCountTest, ShrinksEveryPlaybackLengthWithinTheSource) {
  // Every length playback uses: 800 - q*(q+1) for 1 to 27 waiting buffers. The output
  // keeps the source's order; only where the walk skips one sample more than it must
  // (794: step 133 meets 0, 133, ... 798) does the last source sample fill the end twice.
  const auto in = Ramp(800);
  for (int q = 1; q <= 27; ++q) {
    const int n = 800 - q * (q + 1);
    const auto out = Fit(in, n);
    EXPECT_GT(out.front(), 0) << "sample 0 is always left out, n=" << n;
    for (size_t i = 1; i < out.size(); ++i) {
      if (out[i] == 799) break;
      ASSERT_LT(out[i - 1], out[i]) << "n=" << n << " i=" << i;
    }
  }
  const auto q2 = Fit(in, 794);
  EXPECT_EQ(q2[792], 799);
  EXPECT_EQ(q2[793], 799);
  // The shortest: step 1 skips every other sample, the first 88 source samples give 44.
  const auto shortest = Fit(in, 44);
  EXPECT_EQ(shortest.front(), 1);
  EXPECT_EQ(shortest.back(), 87);
}

TEST(FitSampleCountTest, EqualCountsCopy) {
  const auto in = Ramp(800);
  EXPECT_EQ(Fit(in, 800), in);
}

TEST(FitSampleCountTest, OddCountsStayInBounds) {
  // Growing by more than the input (the step would be 0) and degenerate counts.
  EXPECT_EQ(Fit(Ramp(3), 10), (std::vector<int16_t>{0, 0, 1, 1, 2, 2, 2, 2, 2, 2}));
  EXPECT_EQ(Fit(Ramp(1), 4), (std::vector<int16_t>{0, 0, 0, 0}));
  EXPECT_EQ(Fit(Ramp(2), 1), (std::vector<int16_t>{1}));
  EXPECT_EQ(Fit({}, 3), (std::vector<int16_t>{0, 0, 0}));
  EXPECT_TRUE(Fit(Ramp(5), 0).empty());
  int16_t untouched = 9;
  FitSampleCount(&untouched, nullptr, -1, 5);
  EXPECT_EQ(untouched, 9);
}

}  // namespace
}  // namespace vantorel
