// The fast coder against two independent implementations of the standard's arithmetic,
// over millions of samples: the plain transcription in g726_reference.cc, and spandsp.
// This file is built twice: against the library as it is (SSE2 on x86-64), and against
// its portable form (VANTOREL_G726_PORTABLE), under a suite name of its own.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "codec/g726.h"
#include "g726_reference.h"
#include "g726_test_support.h"
#include "spandsp_coder.h"
#include "test_signals.h"

#if VANTOREL_G726_PORTABLE
#define G726ExactnessTest G726PortableExactnessTest
#endif

namespace vantorel {
namespace {

using test_signals::AllSignals;

int16_t Clamp16(int v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }

// Codes of a whole signal from the reference.
std::vector<uint8_t> ReferenceCodes(const std::vector<int16_t>& samples) {
  G726State s;
  reference::InitState(s);
  std::vector<uint8_t> codes(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) codes[i] = static_cast<uint8_t>(reference::Encode(samples[i], s));
  return codes;
}

TEST(G726ExactnessTest, EncoderFollowsTheReferenceSampleBySample) {
  for (const auto& signal : AllSignals()) {
    SCOPED_TRACE(signal.name);
    G726State fast, ref;
    G726InitState(fast);
    reference::InitState(ref);
    ASSERT_EQ(fast, ref);
    for (size_t i = 0; i < signal.samples.size(); ++i) {
      const int code = G726Encode(signal.samples[i], fast);
      const int expected = reference::Encode(signal.samples[i], ref);
      ASSERT_EQ(code, expected) << "sample " << i;
      ASSERT_EQ(fast, ref) << "sample " << i;
    }
  }
}

TEST(G726ExactnessTest, DecoderFollowsTheReferenceOnEncodedSignals) {
  for (const auto& signal : AllSignals()) {
    SCOPED_TRACE(signal.name);
    const std::vector<uint8_t> codes = ReferenceCodes(signal.samples);
    G726State fast, ref;
    G726InitState(fast);
    reference::InitState(ref);
    for (size_t i = 0; i < codes.size(); ++i) {
      ASSERT_EQ(G726Decode(codes[i], fast), reference::Decode(codes[i], ref)) << "sample " << i;
      ASSERT_EQ(fast, ref) << "sample " << i;
    }
  }
}

void ExpectDecodesLikeTheReference(const std::vector<uint8_t>& bytes) {
  G726State fast, ref;
  G726InitState(fast);
  reference::InitState(ref);
  for (size_t i = 0; i < bytes.size(); ++i) {
    for (int code : {bytes[i] & 15, bytes[i] >> 4}) {
      ASSERT_EQ(G726Decode(code, fast), reference::Decode(code, ref)) << "byte " << i;
    }
    ASSERT_EQ(fast, ref) << "byte " << i;
  }
}

TEST(G726ExactnessTest, DecoderFollowsTheReferenceOnRandomCodes) {
  ExpectDecodesLikeTheReference(test_signals::RandomBytes(1'500'000, 99));
}

// Long runs of one codeword drive the zero predictor's coefficients past 32767, where the
// 16-bit store wraps them, and pin a[1] and yu at their limits.
TEST(G726ExactnessTest, DecoderFollowsTheReferenceOnRunsOfOneCode) {
  std::vector<uint8_t> bytes;
  for (int code = 0; code < 16; ++code) bytes.insert(bytes.end(), 10000, static_cast<uint8_t>(code * 17));
  for (uint8_t pair : {0x78, 0x87, 0x1E, 0xF0}) bytes.insert(bytes.end(), 10000, pair);
  ExpectDecodesLikeTheReference(bytes);
}

// The block functions, in the system's 400-sample frames and in odd pieces, give the
// reference's codes packed low-nibble-first, and its decoded values clamped to 16 bits.
TEST(G726ExactnessTest, BlocksMatchTheReferenceInAnyChunking) {
  const std::vector<int16_t> samples = test_signals::Speech(400'000, 60000, 21);
  const std::vector<uint8_t> codes = ReferenceCodes(samples);
  for (size_t chunk : {400u, 2u, 1u, 37u, 4096u}) {
    SCOPED_TRACE(chunk);
    G726State enc, dec, ref;
    G726InitState(enc);
    G726InitState(dec);
    reference::InitState(ref);
    for (size_t start = 0; start < samples.size(); start += chunk) {
      const size_t n = std::min(chunk, samples.size() - start);
      // Encoding: odd chunks end in a byte of its own; compare code by code.
      std::vector<uint8_t> packed((n + 1) / 2);
      ASSERT_EQ(G726EncodeBlock(packed.data(), samples.data() + start, n, enc), packed.size());
      for (size_t k = 0; k < n; ++k) {
        ASSERT_EQ((packed[k / 2] >> (4 * (k % 2))) & 15, codes[start + k]) << "sample " << start + k;
      }
      if (n % 2 != 0) {
        ASSERT_EQ(packed.back() >> 4, 0);
      }
      // Decoding whole bytes: only even chunks map onto bytes of the stream.
      if (n % 2 != 0) continue;
      std::vector<int16_t> decoded(n);
      ASSERT_EQ(G726DecodeBlock(decoded.data(), packed.data(), n / 2, dec), n);
      for (size_t k = 0; k < n; ++k) {
        ASSERT_EQ(decoded[k], Clamp16(reference::Decode(codes[start + k], ref))) << "sample " << start + k;
      }
    }
    if (chunk % 2 == 0) {
      EXPECT_EQ(enc, dec);
    }
  }
}

// spandsp: a separate implementation that passes the standard's test vectors. Its linear
// output keeps the low 16 bits of the decoded value where ours clamps.
using Packing = SpandspCoder::Packing;

TEST(G726ExactnessTest, AgreesWithSpandsp) {
  for (const auto& signal : AllSignals()) {
    SCOPED_TRACE(signal.name);
    const auto& samples = signal.samples;
    const int n = static_cast<int>(samples.size());
    // One code per byte from spandsp.
    SpandspCoder spandsp_enc(Packing::kNone);
    std::vector<uint8_t> their_codes(samples.size());
    ASSERT_EQ(spandsp_enc.Encode(their_codes.data(), samples.data(), n), n);

    G726State enc;
    G726InitState(enc);
    for (size_t i = 0; i < samples.size(); ++i) {
      ASSERT_EQ(G726Encode(samples[i], enc), their_codes[i]) << "sample " << i;
    }

    SpandspCoder spandsp_dec(Packing::kNone);
    std::vector<int16_t> theirs(samples.size());
    ASSERT_EQ(spandsp_dec.Decode(theirs.data(), their_codes.data(), n), n);
    G726State dec;
    G726InitState(dec);
    for (size_t i = 0; i < samples.size(); ++i) {
      const int ours = G726Decode(their_codes[i], dec);
      ASSERT_EQ(static_cast<int16_t>(ours), theirs[i]) << "sample " << i;
    }
  }
}

TEST(G726ExactnessTest, AgreesWithSpandspOnRandomCodes) {
  const std::vector<uint8_t> bytes = test_signals::RandomBytes(1'000'000, 5);
  SpandspCoder spandsp_dec(Packing::kLowFirst);
  std::vector<int16_t> theirs(2 * bytes.size());
  ASSERT_EQ(spandsp_dec.Decode(theirs.data(), bytes.data(), static_cast<int>(bytes.size())),
            static_cast<int>(theirs.size()));
  G726State dec;
  G726InitState(dec);
  for (size_t i = 0; i < theirs.size(); ++i) {
    const int code = (bytes[i / 2] >> (4 * (i % 2))) & 15;
    ASSERT_EQ(static_cast<int16_t>(G726Decode(code, dec)), theirs[i]) << "sample " << i;
  }
}

// spandsp's right packing is the wire's order: the earlier code in the low four bits.
TEST(G726ExactnessTest, SpandspRightPackingIsTheWireOrder) {
  const std::vector<int16_t> samples = test_signals::Speech(8000, 20000, 3);
  SpandspCoder spandsp_enc(Packing::kLowFirst);
  std::vector<uint8_t> theirs(samples.size() / 2);
  ASSERT_EQ(spandsp_enc.Encode(theirs.data(), samples.data(), static_cast<int>(samples.size())),
            static_cast<int>(theirs.size()));
  G726State enc;
  G726InitState(enc);
  std::vector<uint8_t> ours(samples.size() / 2);
  ASSERT_EQ(G726EncodeBlock(ours.data(), samples.data(), samples.size(), enc), ours.size());
  EXPECT_EQ(ours, theirs);
}

}  // namespace
}  // namespace vantorel
