// Time per 10 ms frame of the echo canceller in the synthetic short room (far speech and
// its echoes, frames taken in turn and looped), the state carried on as in a talk. Times
// belong on a quiet machine; bench/audio_tx/echo_callgrind.sh counts instructions instead.

#include <benchmark/benchmark.h>

#include <vector>

#include "audio_tx/echo_canceller.h"
#include "audio_tx/echo_room.h"

namespace {

using namespace vantorel;

void BM_EchoCancelFrame(benchmark::State& state) {
  const echo_room::Recording r = echo_room::Record(echo_room::ShortRoom());
  const size_t frames = r.echo_end / kEchoFrameSamples;
  EchoCanceller canceller;
  std::vector<int16_t> out(kEchoFrameSamples);
  size_t f = 0;
  for (auto _ : state) {
    const size_t at = f * kEchoFrameSamples;
    canceller.Process(EchoFrame(r.far.data() + at, kEchoFrameSamples), EchoFrame(r.mic.data() + at, kEchoFrameSamples),
                      std::span<int16_t, kEchoFrameSamples>(out));
    benchmark::DoNotOptimize(out.data());
    if (++f == frames) f = 0;
  }
  state.SetLabel(EchoCanceller::Engine());
  state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EchoCancelFrame);

}  // namespace

BENCHMARK_MAIN();
