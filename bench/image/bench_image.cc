// Stills per second (fetch + decode from memory, a fresh connection each) for our
// FetchHttpJpeg and for a plain loop of libcurl and libjpeg calls doing the same work, in
// the same run against the same loopback server; and the time of one 320x240 decode.

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <chrono>
#include <vector>

#include "fixed_camera.h"
#include "plain_still.h"
#include "image/image_fetch.h"
#include "image/jpeg_decode.h"

namespace {

using vantorel::bench::FixedCamera;
using vantorel::bench::PlainStill;

FixedCamera& Camera() {
  static FixedCamera camera;
  return camera;
}

void BM_StillsOurs(benchmark::State& state) {
  const std::string url = Camera().url;
  vantorel::ImageBitmap picture;  // reused, as the picture worker reuses its storage
  for (auto _ : state) {
    if (vantorel::FetchHttpJpeg(url, picture).failed()) state.SkipWithError("no picture");
    benchmark::DoNotOptimize(picture.pixels.data());
  }
  state.counters["stills/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_StillsPlainLoop(benchmark::State& state) {
  const std::string url = Camera().url;
  const std::string path = Camera().home + "/plain.jpg";
  curl_global_init(CURL_GLOBAL_DEFAULT);
  std::vector<unsigned char> pixels;
  for (auto _ : state) {
    if (!PlainStill(url, path, pixels)) state.SkipWithError("no picture");
    benchmark::DoNotOptimize(pixels.data());
  }
  state.counters["stills/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Both loops in turn, one still each per iteration, so that both see the same machine load
// (the machine is shared): the ratio is the figure to watch.
void BM_StillsOursOverPlainLoop(benchmark::State& state) {
  const std::string url = Camera().url;
  const std::string path = Camera().home + "/plain.jpg";
  curl_global_init(CURL_GLOBAL_DEFAULT);
  std::vector<unsigned char> pixels;
  vantorel::ImageBitmap picture;
  std::chrono::duration<double> ours{0}, plain{0};
  bool ours_first = true;  // alternate, so that neither always follows the other
  for (auto _ : state) {
    for (int turn = 0; turn < 2; ++turn) {
      const auto start = std::chrono::steady_clock::now();
      bool ok;
      if ((turn == 0) == ours_first) {
        ok = !vantorel::FetchHttpJpeg(url, picture).failed();
        ours += std::chrono::steady_clock::now() - start;
      } else {
        ok = PlainStill(url, path, pixels);
        plain += std::chrono::steady_clock::now() - start;
      }
      if (!ok) state.SkipWithError("no picture");
    }
    ours_first = !ours_first;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["ours/s"] = n / ours.count();
  state.counters["plain/s"] = n / plain.count();
  state.counters["ratio"] = plain.count() / ours.count();
}

void BM_Decode320x240(benchmark::State& state) {
  const std::string still = vantorel::bench::FixedStill();
  const std::span jpeg(reinterpret_cast<const uint8_t*>(still.data()), still.size());
  vantorel::ImageBitmap picture;
  for (auto _ : state) {
    if (!vantorel::DecodeJpeg(jpeg, picture)) state.SkipWithError("no picture");
    benchmark::DoNotOptimize(picture.pixels.data());
  }
  state.counters["jpeg_bytes"] = static_cast<double>(still.size());
}

BENCHMARK(BM_StillsOursOverPlainLoop)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(4.0);
BENCHMARK(BM_StillsOurs)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_StillsPlainLoop)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Decode320x240)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
