// The coder's behaviour at its edges: packing, odd counts, the block decoder's limit, the
// lockstep of encoder and decoder, and the state's bounds under hostile input.

#include "codec/g726.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "g726_test_support.h"
#include "test_signals.h"

namespace vantorel {
namespace {

G726State Fresh() {
  G726State s;
  G726InitState(s);
  return s;
}

TEST(G726Test, FrameOf400SamplesMakes200BytesAndBack) {
  const auto samples = test_signals::Speech(400, 20000, 1);
  G726State enc = Fresh(), dec = Fresh();
  uint8_t bytes[200];
  EXPECT_EQ(G726EncodeBlock(bytes, samples.data(), 400, enc), 200u);
  int16_t decoded[400];
  EXPECT_EQ(G726DecodeBlock(decoded, bytes, 200, dec), 400u);
  EXPECT_EQ(enc, dec);
}

// Byte 0x21: codeword 1 is decoded first (low four bits), then codeword 2.
TEST(G726Test, LowFourBitsAreTheEarlierSample) {
  G726State block = Fresh(), single = Fresh();
  const uint8_t byte = 0x21;
  int16_t out[2];
  ASSERT_EQ(G726DecodeBlock(out, &byte, 1, block), 2u);
  EXPECT_EQ(out[0], G726Decode(1, single));
  EXPECT_EQ(out[1], G726Decode(2, single));
  EXPECT_EQ(block, single);

  // And the encoder packs the same way.
  const int16_t samples[2] = {3000, -12000};
  G726State enc = Fresh(), ref = Fresh();
  uint8_t packed = 0;
  ASSERT_EQ(G726EncodeBlock(&packed, samples, 2, enc), 1u);
  const int first = G726Encode(samples[0], ref);
  const int second = G726Encode(samples[1], ref);
  EXPECT_NE(first, second);
  EXPECT_EQ(packed, first | second << 4);
}

TEST(G726Test, DecodeUsesOnlyTheLowFourBits) {
  G726State a = Fresh(), b = Fresh();
  for (int code = 0; code < 256; ++code) {
    ASSERT_EQ(G726Decode(code, a), G726Decode(code & 15, b)) << code;
    ASSERT_EQ(a, b);
  }
}

TEST(G726Test, OddCountEndsInAByteOfItsOwn) {
  const auto samples = test_signals::Speech(401, 20000, 2);
  G726State block = Fresh(), single = Fresh();
  std::vector<uint8_t> bytes(202, 0xEE);
  ASSERT_EQ(G726EncodeBlock(bytes.data(), samples.data(), 401, block), 201u);
  EXPECT_EQ(bytes[201], 0xEE) << "wrote past the counted bytes";
  for (size_t i = 0; i < 401; ++i) {
    const int code = G726Encode(samples[i], single);
    EXPECT_EQ((bytes[i / 2] >> (4 * (i % 2))) & 15, code) << i;
  }
  EXPECT_EQ(bytes[200] >> 4, 0);
  EXPECT_EQ(block, single);

  G726State one = Fresh();
  uint8_t byte = 0xEE;
  EXPECT_EQ(G726EncodeBlock(&byte, samples.data(), 1, one), 1u);
  EXPECT_EQ(byte >> 4, 0);
}

TEST(G726Test, EmptyBlocksChangeNothing) {
  G726State s = Fresh();
  const G726State before = s;
  EXPECT_EQ(G726EncodeBlock(nullptr, nullptr, 0, s), 0u);
  EXPECT_EQ(G726DecodeBlock(nullptr, nullptr, 0, s), 0u);
  EXPECT_EQ(s, before);
}

// Codewords 0 and 15 carry no difference: 15 has the sign bit set and reconstructs the
// difference -32768, whose magnitude (& 0x3FFF) is 0, so the output is the estimate.
TEST(G726Test, CodesWithoutMagnitudeReproduceTheEstimate) {
  G726State fresh = Fresh();
  EXPECT_EQ(G726Decode(15, fresh), 0);
  EXPECT_EQ(fresh.dq[0], static_cast<int16_t>(0xFC20)) << "minus zero";
  EXPECT_EQ(fresh.pk[0], 0);

  // From a state with a running estimate both give the same value and the same yu.
  G726State s = Fresh();
  for (int16_t v : test_signals::Tone(800, 440, 12000)) G726Encode(v, s);
  G726State with0 = s, with15 = s;
  const int v0 = G726Decode(0, with0);
  const int v15 = G726Decode(15, with15);
  EXPECT_NE(v0, 0);
  EXPECT_EQ(v0, v15);
  EXPECT_EQ(with0.yu, with15.yu);
  EXPECT_EQ(with0.dq[0], 32);
  EXPECT_EQ(with15.dq[0], static_cast<int16_t>(0xFC20));
}

// Loud sound decodes beyond 16 bits; the block decoder limits it instead of wrapping,
// while G726Decode returns the full value and the state is the same either way.
TEST(G726Test, BlockDecoderLimitsLoudValues) {
  const auto samples = test_signals::Square(4000, 40);
  G726State enc = Fresh();
  std::vector<uint8_t> bytes(2000);
  G726EncodeBlock(bytes.data(), samples.data(), samples.size(), enc);

  G726State single = Fresh(), block = Fresh();
  std::vector<int16_t> out(4000);
  G726DecodeBlock(out.data(), bytes.data(), bytes.size(), block);
  int above = 0, below = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    const int full = G726Decode((bytes[i / 2] >> (4 * (i % 2))) & 15, single);
    if (full > 32767) {
      ++above;
      EXPECT_EQ(out[i], 32767) << i;
    } else if (full < -32768) {
      ++below;
      EXPECT_EQ(out[i], -32768) << i;
    } else {
      EXPECT_EQ(out[i], full) << i;
    }
  }
  EXPECT_GT(above, 0);
  EXPECT_GT(below, 0);
  EXPECT_EQ(single, block);
}

// The camera decodes what we encode with a state of its own: both must stay identical,
// field by field, after every frame.
TEST(G726Test, DecoderStaysInLockstepWithEncoder) {
  for (const auto& signal : test_signals::AllSignals()) {
    SCOPED_TRACE(signal.name);
    G726State enc = Fresh(), dec = Fresh();
    uint8_t bytes[200];
    int16_t decoded[400];
    for (size_t start = 0; start + 400 <= signal.samples.size(); start += 400) {
      G726EncodeBlock(bytes, signal.samples.data() + start, 400, enc);
      G726DecodeBlock(decoded, bytes, 200, dec);
      ASSERT_EQ(enc, dec) << "frame at sample " << start;
    }
  }
}

// yu, a[1], a[0] and the other adaptive fields stay inside their limits whatever arrives:
// random codewords, long runs of one codeword, full-scale squares and noise.
void ExpectWithinLimits(const G726State& s) {
  ASSERT_GE(s.yu, 544);
  ASSERT_LE(s.yu, 5120);
  ASSERT_GE(s.a[1], -12288);
  ASSERT_LE(s.a[1], 12288);
  ASSERT_LE(std::abs(s.a[0]), 15360 - s.a[1]);
  ASSERT_GE(s.ap, 0);
  ASSERT_LT(s.ap, 512);
  ASSERT_GE(s.yl, 34816);
  ASSERT_LE(s.yl >> 6, 5120);
  ASSERT_LE(s.td, 1);
  for (int pk : s.pk) ASSERT_TRUE(pk == 0 || pk == 1);
}

TEST(G726Test, StateStaysWithinLimitsUnderHostileCodes) {
  std::vector<uint8_t> bytes = test_signals::RandomBytes(200000, 77);
  for (int code = 0; code < 16; ++code) bytes.insert(bytes.end(), 5000, static_cast<uint8_t>(code * 17));
  for (uint8_t pair : {0x07, 0x70, 0x8F, 0xF8, 0x77, 0x88}) bytes.insert(bytes.end(), 5000, pair);
  G726State s = Fresh();
  int16_t out[2];
  for (size_t i = 0; i < bytes.size(); ++i) {
    G726DecodeBlock(out, &bytes[i], 1, s);
    ExpectWithinLimits(s);
    if (HasFatalFailure()) FAIL() << "after byte " << i;
  }
}

TEST(G726Test, StateStaysWithinLimitsUnderHostileSamples) {
  std::vector<int16_t> samples = test_signals::Noise(100000, 32768, 5);
  for (size_t period : {2, 3, 5, 64}) {
    const auto square = test_signals::Square(20000, period);
    samples.insert(samples.end(), square.begin(), square.end());
  }
  samples.insert(samples.end(), 20000, 32767);
  samples.insert(samples.end(), 20000, -32768);
  G726State s = Fresh();
  for (size_t i = 0; i < samples.size(); ++i) {
    G726Encode(samples[i], s);
    ExpectWithinLimits(s);
    if (HasFatalFailure()) FAIL() << "after sample " << i;
  }
}

}  // namespace
}  // namespace vantorel
