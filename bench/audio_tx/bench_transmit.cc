// The transmit worker's processor time during a talk with the simulated camera on
// loopback: while it waits for the microphone's first buffer, and while buffers arrive at
// the microphone's pace (one per 47.75 ms). The worker names its thread "vantorel-tx"; its
// time on the processor comes from the kernel (/proc/self/task/TID/schedstat, in ns).
// For comparison, a thread that polls the ring with a yield between passes, as a worker
// without the ring's condition variable would.

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sched.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio_tx/capture_ring.h"
#include "audio_tx/transmit_worker.h"
#include "camsim/server.h"
#include "settings/camera_urls.h"
#include "station/station.h"

namespace {

using std::chrono::duration;
using std::chrono::milliseconds;
using std::chrono::steady_clock;
namespace camsim = vantorel::camsim;

constexpr auto kBufferPeriod = std::chrono::microseconds(47750);
constexpr auto kWindow = std::chrono::seconds(2);  // one measurement; the camera gives up after 5 s of silence

// The kernel id of this process's thread named `name`, or 0.
int FindThread(const std::string& name) {
  DIR* dir = opendir("/proc/self/task");
  if (!dir) return 0;
  int found = 0;
  while (dirent* entry = readdir(dir)) {
    std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
    std::string text;
    if (std::getline(comm, text) && text == name) found = std::atoi(entry->d_name);
  }
  closedir(dir);
  return found;
}

// Nanoseconds that thread `tid` has run on a processor.
double CpuNanoseconds(int tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/schedstat");
  double ns = 0;
  stat >> ns;
  return ns;
}

// One talk against the simulated camera, from the request's first pieces to its end.
class Talk {
 public:
  Talk() : camera_(camsim::Options{}) {}
  bool Start() {
    if (!camera_.Start()) return false;
    station_.settings().SetTransmitUrl(camera_.Url() + vantorel::kTransmitPath);
    station_.StartTalk({.open_microphone = false});
    const auto give_up = steady_clock::now() + std::chrono::seconds(10);
    while (camera_.stats().talk.bytes < 94 && steady_clock::now() < give_up) std::this_thread::sleep_for(milliseconds(1));
    tid_ = FindThread("vantorel-tx");
    return tid_ != 0 && camera_.stats().talk.bytes == 94;
  }
  int tid() const { return tid_; }
  int parts() const { return camera_.stats().talk.parts; }
  void Store(const std::vector<int16_t>& samples) { station_.ring().Store(samples); }

 private:
  vantorel::camsim::Server camera_;
  vantorel::Station station_;  // stops the talk as it goes, before the camera
  int tid_ = 0;
};

void Report(benchmark::State& state, double cpu_ns, double wall_ns) {
  state.counters["worker_cpu_%"] = 100.0 * cpu_ns / wall_ns;
}

// The worker has sent the request's first pieces and waits for the first buffer.
void BM_WorkerWaitingForTheMicrophone(benchmark::State& state) {
  Talk talk;
  if (!talk.Start()) return state.SkipWithError("no talk");
  double cpu = 0, wall = 0;
  for (auto _ : state) {
    const double cpu0 = CpuNanoseconds(talk.tid());
    const auto t0 = steady_clock::now();
    std::this_thread::sleep_for(kWindow);
    const double seconds = duration<double>(steady_clock::now() - t0).count();
    cpu += CpuNanoseconds(talk.tid()) - cpu0;
    wall += seconds * 1e9;
    state.SetIterationTime(seconds);
  }
  Report(state, cpu, wall);
}
BENCHMARK(BM_WorkerWaitingForTheMicrophone)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// Buffers arrive at the microphone's pace; the worker sends each as one part and waits for
// the next.
void BM_WorkerTalkingAtMicrophonePace(benchmark::State& state) {
  Talk talk;
  if (!talk.Start()) return state.SkipWithError("no talk");
  std::vector<int16_t> samples(vantorel::kCaptureBufferSamples);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>((i * 97) % 2000 - 1000);
  double cpu = 0, wall = 0;
  int stored = 0;
  for (auto _ : state) {
    const double cpu0 = CpuNanoseconds(talk.tid());
    const auto t0 = steady_clock::now();
    for (int n = 0; steady_clock::now() - t0 < kWindow; ++n) {
      std::this_thread::sleep_until(t0 + n * kBufferPeriod);
      talk.Store(samples);
      ++stored;
    }
    const double seconds = duration<double>(steady_clock::now() - t0).count();
    cpu += CpuNanoseconds(talk.tid()) - cpu0;
    wall += seconds * 1e9;
    state.SetIterationTime(seconds);
  }
  Report(state, cpu, wall);
  std::this_thread::sleep_for(milliseconds(100));
  state.counters["parts_sent"] = talk.parts();
  state.counters["buffers_stored"] = stored;
}
BENCHMARK(BM_WorkerTalkingAtMicrophonePace)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// A worker that polls the ring and yields between passes, waiting for a first buffer that
// does not come: one second of it.
void BM_PollingWorkerForComparison(benchmark::State& state) {
  vantorel::CaptureRing ring;
  double cpu = 0, wall = 0;
  for (auto _ : state) {
    std::atomic<bool> go{true};
    double thread_cpu = 0;
    const auto t0 = steady_clock::now();
    std::thread poller([&] {
      timespec a{}, b{};
      clock_gettime(CLOCK_THREAD_CPUTIME_ID, &a);
      while (go.load(std::memory_order_relaxed) && ring.Status().state == vantorel::TransmitState::kWaiting) {
        sched_yield();
      }
      clock_gettime(CLOCK_THREAD_CPUTIME_ID, &b);
      thread_cpu = (b.tv_sec - a.tv_sec) * 1e9 + (b.tv_nsec - a.tv_nsec);
    });
    std::this_thread::sleep_for(std::chrono::seconds(1));
    go = false;
    poller.join();
    const double seconds = duration<double>(steady_clock::now() - t0).count();
    cpu += thread_cpu;
    wall += seconds * 1e9;
    state.SetIterationTime(seconds);
  }
  Report(state, cpu, wall);
}
BENCHMARK(BM_PollingWorkerForComparison)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
