// G.726 32 kbit/s throughput: our coder beside spandsp and libavcodec, on the same
// speech-like signal in the same run. items_per_second is samples per second.
//
//   build-release/bench/codec/g726_bench --benchmark_repetitions=10 --benchmark_report_aggregates_only
//
// Besides mean, median and spread, each benchmark reports "best": the highest
// items_per_second of the repetitions (its time columns are not meaningful). On a shared
// machine other work only ever slows a repetition down, so the best is the steadiest
// measure of the coder itself; the median shows what a busy machine gives.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "codec/g726.h"
#include "peers.h"
#include "test_signals.h"
#if G726_BENCH_REFERENCE
#include "g726_reference.h"
#endif

namespace vantorel::bench {
namespace {

// 6.4 seconds of speech-like sound: whole numbers of libavcodec's 2048-sample encoder
// frames and of the system's 400-sample frames.
constexpr size_t kSamples = 51200;

const std::vector<int16_t>& Speech() {
  static const std::vector<int16_t> samples = test_signals::Speech(kSamples, 30000, 42);
  return samples;
}

// The speech encoded by our coder: the decoders' input.
const std::vector<uint8_t>& SpeechCodes() {
  static const std::vector<uint8_t> codes = [] {
    std::vector<uint8_t> out(kSamples / 2);
    G726State s;
    G726InitState(s);
    G726EncodeBlock(out.data(), Speech().data(), kSamples, s);
    return out;
  }();
  return codes;
}

void Finish(benchmark::State& state) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kSamples);
}

double Highest(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

// Ours, in chunks of `chunk` samples (2048 like the peers' frames, 400 as the system uses).
void BM_Encode_Vantorel(benchmark::State& state) {
  const size_t chunk = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> out(kSamples / 2);
  G726State s;
  G726InitState(s);
  for (auto _ : state) {
    for (size_t k = 0; k < kSamples; k += chunk) G726EncodeBlock(out.data() + k / 2, Speech().data() + k, chunk, s);
    benchmark::DoNotOptimize(out.data());
  }
  Finish(state);
}
BENCHMARK(BM_Encode_Vantorel)->Arg(2048)->Arg(400)->ComputeStatistics("best", Highest);

void BM_Decode_Vantorel(benchmark::State& state) {
  const size_t chunk = static_cast<size_t>(state.range(0));
  std::vector<int16_t> out(kSamples);
  G726State s;
  G726InitState(s);
  for (auto _ : state) {
    for (size_t k = 0; k < kSamples; k += chunk) G726DecodeBlock(out.data() + k, SpeechCodes().data() + k / 2, chunk / 2, s);
    benchmark::DoNotOptimize(out.data());
  }
  Finish(state);
}
BENCHMARK(BM_Decode_Vantorel)->Arg(2048)->Arg(400)->ComputeStatistics("best", Highest);

void BM_Encode_Spandsp(benchmark::State& state) {
  SpandspPeer peer;
  std::vector<uint8_t> out(kSamples / 2);
  for (auto _ : state) {
    for (size_t k = 0; k < kSamples; k += 2048) peer.Encode(out.data() + k / 2, Speech().data() + k, 2048);
    benchmark::DoNotOptimize(out.data());
  }
  Finish(state);
}
BENCHMARK(BM_Encode_Spandsp)->ComputeStatistics("best", Highest);

void BM_Decode_Spandsp(benchmark::State& state) {
  SpandspPeer peer;
  std::vector<int16_t> out(kSamples);
  for (auto _ : state) {
    for (size_t k = 0; k < kSamples; k += 2048) peer.Decode(out.data() + k, SpeechCodes().data() + k / 2, 1024);
    benchmark::DoNotOptimize(out.data());
  }
  Finish(state);
}
BENCHMARK(BM_Decode_Spandsp)->ComputeStatistics("best", Highest);

void BM_Encode_Libavcodec(benchmark::State& state) {
  LibavcodecPeer peer;
  std::vector<uint8_t> out(kSamples / 2);
  for (auto _ : state) {
    benchmark::DoNotOptimize(peer.Encode(out.data(), Speech().data(), kSamples));
  }
  Finish(state);
}
BENCHMARK(BM_Encode_Libavcodec)->ComputeStatistics("best", Highest);

void BM_Decode_Libavcodec(benchmark::State& state) {
  LibavcodecPeer peer;
  std::vector<int16_t> out(kSamples);
  for (auto _ : state) {
    for (size_t k = 0; k < kSamples; k += 2048) peer.Decode(out.data() + k, SpeechCodes().data() + k / 2, 1024);
    benchmark::DoNotOptimize(out.data());
  }
  Finish(state);
}
BENCHMARK(BM_Decode_Libavcodec)->ComputeStatistics("best", Highest);

#if G726_BENCH_REFERENCE
// The tests' plain transcription of the arithmetic, one call per sample.
void BM_Encode_PlainTranscription(benchmark::State& state) {
  std::vector<uint8_t> out(kSamples);
  G726State s;
  reference::InitState(s);
  for (auto _ : state) {
    for (size_t k = 0; k < kSamples; ++k) out[k] = static_cast<uint8_t>(reference::Encode(Speech()[k], s));
    benchmark::DoNotOptimize(out.data());
  }
  Finish(state);
}
BENCHMARK(BM_Encode_PlainTranscription)->ComputeStatistics("best", Highest);

void BM_Decode_PlainTranscription(benchmark::State& state) {
  std::vector<int> out(kSamples);
  G726State s;
  reference::InitState(s);
  for (auto _ : state) {
    for (size_t k = 0; k < kSamples; ++k) out[k] = reference::Decode(SpeechCodes()[k / 2] >> (4 * (k % 2)), s);
    benchmark::DoNotOptimize(out.data());
  }
  Finish(state);
}
BENCHMARK(BM_Decode_PlainTranscription)->ComputeStatistics("best", Highest);
#endif

}  // namespace
}  // namespace vantorel::bench

BENCHMARK_MAIN();
