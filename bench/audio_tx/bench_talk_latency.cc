// Talk latency: from a buffer stored by the microphone to the last byte of its part
// arriving at the camera, for a real transmit worker and libcurl against a camera on a
// loopback socket that reads as fast as it can and notes when each part is complete.
// Buffers are stored at the microphone's pace (one per 47.75 ms).
//
// The worker holds back the first parts until four buffers wait (the pre-buffer), then
// sends each buffer as it comes. So two numbers: the first part's delay, counted from the
// first sample of its buffer (the moment the microphone began filling it), and the delay
// of every later part from its buffer's store. For both talk dialects: the design's parts
// (248 bytes after a 94-byte opening), and today's singlepart mu-law (a buffer is 382 bytes;
// G.726-32 differs only in halving the bytes).

#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio_tx/capture_ring.h"
#include "audio_tx/transmit_body.h"
#include "audio_tx/transmit_worker.h"
#include "settings/camera_urls.h"
#include "station/station.h"
#include "support/loopback.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration;
using std::chrono::milliseconds;

constexpr auto kBufferPeriod = std::chrono::microseconds(47750);
constexpr int kBuffers = 100;  // 4.8 s of talk
constexpr size_t kDesignOpeningBytes = 17 + 61 + 16;

// Accepts one connection, skips the request head and the body's opening pieces, and notes
// the moment each part (one captured buffer) is complete.
class ReadingCamera {
 public:
  ReadingCamera(size_t opening_bytes, size_t part_bytes) : opening_bytes_(opening_bytes), part_bytes_(part_bytes) {
    listen_fd_ = vantorel::test::ListenOnLoopback(1, &port_);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ReadingCamera() {
    shutdown(listen_fd_, SHUT_RDWR);
    if (conn_fd_ >= 0) shutdown(conn_fd_, SHUT_RDWR);
    thread_.join();
    close(listen_fd_);
    if (conn_fd_ >= 0) close(conn_fd_);
  }
  std::string Url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/axis-cgi/audio/transmit.cgi";
  }
  bool OpeningArrived() const { return opening_.load(); }
  std::vector<Clock::time_point> Arrivals() const {
    std::lock_guard lock(mutex_);
    return arrivals_;
  }

 private:
  void Serve() {
    conn_fd_ = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (conn_fd_ < 0) return;
    std::string head;
    size_t body = 0;  // body bytes seen
    char buffer[65536];
    for (;;) {
      const ssize_t n = read(conn_fd_, buffer, sizeof buffer);
      if (n <= 0) return;
      const auto now = Clock::now();
      size_t from = 0;
      if (head.find("\r\n\r\n") == std::string::npos) {
        head.append(buffer, static_cast<size_t>(n));
        const size_t end = head.find("\r\n\r\n");
        if (end == std::string::npos) continue;
        from = static_cast<size_t>(n) - (head.size() - end - 4);
      }
      // Singlepart: the sound begins at the first byte that is not mu-law silence (0xff),
      // which the talk sends while no buffer has come.
      if (opening_bytes_ == 0 && !sound_found_) {
        for (size_t i = from; i < static_cast<size_t>(n); ++i) {
          if (static_cast<uint8_t>(buffer[i]) != 0xff) {
            sound_found_ = true;
            sound_start_ = body + (i - from);
            break;
          }
        }
      }
      body += static_cast<size_t>(n) - from;
      opening_ = true;
      if (opening_bytes_ == 0 && !sound_found_) continue;
      const size_t start = opening_bytes_ == 0 ? sound_start_ : opening_bytes_;
      if (body < opening_bytes_) continue;
      std::lock_guard lock(mutex_);
      while (start + (arrivals_.size() + 1) * part_bytes_ <= body) {
        arrivals_.push_back(now);
      }
    }
  }

  const size_t opening_bytes_, part_bytes_;
  bool sound_found_ = false;  // singlepart only; the serving thread's
  size_t sound_start_ = 0;
  int listen_fd_ = -1;
  int conn_fd_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> opening_{false};
  mutable std::mutex mutex_;
  std::vector<Clock::time_point> arrivals_;
};

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5)];
}

void BM_TalkLatency(benchmark::State& state) {
  const bool design = state.range(0) == 0;
  const size_t opening = design ? kDesignOpeningBytes : 0;
  const size_t part = design ? vantorel::kTransmitPartBytes : vantorel::kCaptureBufferSamples;
  std::vector<int16_t> samples(vantorel::kCaptureBufferSamples);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>((i * 97) % 2000 - 1000);
  std::vector<double> first_ms, later_us;
  for (auto _ : state) {
    ReadingCamera camera(opening, part);
    vantorel::Station station;
    station.settings().SetTransmitUrl(camera.Url());
    // Named, so that no param.cgi question takes the camera's one connection.
    station.SetDialect(design ? vantorel::CameraDialect::kDesign : vantorel::CameraDialect::kCurrent);
    station.StartTalk({.open_microphone = false});
    const auto give_up = Clock::now() + std::chrono::seconds(10);
    while (!camera.OpeningArrived() && Clock::now() < give_up) std::this_thread::sleep_for(milliseconds(1));
    if (!camera.OpeningArrived()) return state.SkipWithError("the talk did not start");

    std::vector<Clock::time_point> stored;
    const auto t0 = Clock::now() + kBufferPeriod;
    for (int n = 0; n < kBuffers; ++n) {
      std::this_thread::sleep_until(t0 + n * kBufferPeriod);
      station.ring().Store(samples);
      stored.push_back(Clock::now());
    }
    while (camera.Arrivals().size() < stored.size() && Clock::now() < t0 + std::chrono::seconds(20)) {
      std::this_thread::sleep_for(milliseconds(1));
    }
    const auto arrivals = camera.Arrivals();
    station.StopTalk();
    station.WaitStopped(vantorel::StationWorker::kTalk, Clock::time_point::max());
    if (arrivals.size() < stored.size()) return state.SkipWithError("parts missing");

    // The first sample of buffer 0 was captured one buffer period before it was stored.
    first_ms.push_back(duration<double, std::milli>(arrivals[0] - (stored[0] - kBufferPeriod)).count());
    for (size_t n = vantorel::kTransmitPrebufferBuffers; n < stored.size(); ++n) {
      later_us.push_back(duration<double, std::micro>(arrivals[n] - stored[n]).count());
    }
  }
  state.counters["first_part_ms"] = Percentile(first_ms, 0.5);
  state.counters["later_median_us"] = Percentile(later_us, 0.5);
  state.counters["later_p99_us"] = Percentile(later_us, 0.99);
  state.counters["later_worst_us"] = Percentile(later_us, 1.0);
}
BENCHMARK(BM_TalkLatency)->ArgName("dialect")->DenseRange(0, 1)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
