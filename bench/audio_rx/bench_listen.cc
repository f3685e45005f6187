// Listening latency: from a part's bytes leaving the camera's socket to the play block that
// the part hands on reaching the output device, through libcurl, the frame scanner, the
// decoder and playback; beside it the plain loopback wake-up; the same at the camera's pace,
// from a block's first part to the block at the device. And the work of scanning and
// decoding one second of sound.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "audio_rx/sound_stream.h"
#include "audio_rx/playback.h"
#include "audio_rx/receive_worker.h"
#include "camsim/audio_stream.h"
#include "codec/g726.h"
#include "settings/camera_urls.h"
#include "support/loopback.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace vantorel;

// A camera on a loopback socket that sends a part exactly when the benchmark says.
class PartSender {
 public:
  PartSender() { listener_ = test::ListenOnLoopback(1, &port_); }
  ~PartSender() {
    if (connection_ >= 0) close(connection_);
    close(listener_);
  }
  PartSender(const PartSender&) = delete;
  PartSender& operator=(const PartSender&) = delete;

  int port() const { return port_; }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + kReceivePath; }

  // Takes the worker's connection, reads its request and answers with the reply's header.
  bool Accept() {
    connection_ = accept(listener_, nullptr, nullptr);
    if (connection_ < 0) return false;
    const int on = 1;
    setsockopt(connection_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::string request;
    char buf[1024];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const ssize_t n = read(connection_, buf, sizeof buf);
      if (n <= 0) return false;
      request.append(buf, static_cast<size_t>(n));
    }
    return Send("HTTP/1.0 200 OK\r\nContent-Type: " + std::string(camsim::kAudioContentType) + "\r\n\r\n");
  }

  bool Send(const std::string& bytes) const {
    for (size_t at = 0; at < bytes.size();) {
      const ssize_t n = write(connection_, bytes.data() + at, bytes.size() - at);
      if (n <= 0) return false;
      at += static_cast<size_t>(n);
    }
    return true;
  }

  void Hangup() {
    if (connection_ >= 0) close(connection_);
    connection_ = -1;
  }

 private:
  int listener_ = -1;
  int connection_ = -1;
  int port_ = 0;
};

// The output device: notes when each block arrives and hands it back at once, so that
// no buffer waits and every block plays whole.
class TimingOutput : public AudioOutput {
 public:
  explicit TimingOutput(std::atomic<uint32_t>* writes) : writes_(*writes) {}
  bool Write(std::span<const int16_t>) override {
    writes_.fetch_add(1, std::memory_order_release);
    writes_.notify_all();
    return true;
  }
  int PendingWrites() const override { return 0; }

 private:
  std::atomic<uint32_t>& writes_;
};

std::vector<std::string> Parts(int count) {
  camsim::AudioFrames frames(std::make_shared<const std::vector<int16_t>>(camsim::DoorChime()), 0);
  std::vector<std::string> parts;
  for (int i = 0; i < count; ++i) {
    const auto f = frames.Next();
    parts.push_back(std::string(camsim::kPartHeader) + std::string(reinterpret_cast<const char*>(f.data()), f.size()) +
                    "\r\n");
  }
  return parts;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

// The receive worker with playback on a TimingOutput, connected to a PartSender; `writes`
// counts the blocks handed to the device.
class TimedListening {
 public:
  TimedListening() {
    const AudioOutputOpener opener = [this](std::string&) -> std::unique_ptr<AudioOutput> {
      return std::make_unique<TimingOutput>(&writes);
    };
    worker_ = std::thread([this, opener] { ReceiveWorker(stop_, camera.Url(), PlaybackSink(playback_, opener)); });
    connected = camera.Accept();
  }
  ~TimedListening() {
    stop_->Cancel();
    camera.Hangup();
    worker_.join();
  }
  TimedListening(const TimedListening&) = delete;
  TimedListening& operator=(const TimedListening&) = delete;

  // The next of a run of parts of the door chime, in turn.
  const std::string& NextPart() { return parts_[next_++ % parts_.size()]; }

  PartSender camera;
  std::atomic<uint32_t> writes{0};
  bool connected = false;

 private:
  const std::shared_ptr<CancelToken> stop_ = CancelToken::Create();
  Playback playback_;
  const std::vector<std::string> parts_ = Parts(600);
  size_t next_ = 0;
  std::thread worker_;
};

// One iteration: the part that begins a new block is written to the socket, and the time
// runs until playback has handed the block before it to the device. The part that
// completes a block is sent between iterations, untimed.
void BM_ListenLatency(benchmark::State& state) {
  TimedListening l;
  if (!l.connected) return state.SkipWithError("no connection");
  l.camera.Send(l.NextPart());
  l.camera.Send(l.NextPart());  // block 0 complete

  std::vector<double> micros;
  for (auto _ : state) {
    const uint32_t before = l.writes.load(std::memory_order_acquire);
    const auto start = Clock::now();
    l.camera.Send(l.NextPart());
    l.writes.wait(before, std::memory_order_acquire);  // sleeps: the worker needs the other core
    const auto elapsed = std::chrono::duration<double>(Clock::now() - start);
    state.SetIterationTime(elapsed.count());
    micros.push_back(elapsed.count() * 1e6);
    l.camera.Send(l.NextPart());
    std::this_thread::sleep_for(std::chrono::microseconds(500));  // let it be taken in
  }
  state.counters["p50_us"] = Percentile(micros, 0.5);
  state.counters["p99_us"] = Percentile(micros, 0.99);
  state.counters["max_us"] = Percentile(micros, 1.0);
}
BENCHMARK(BM_ListenLatency)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

// The same path at the camera's pace, one part per 50 ms: from the moment a play block's
// first part is on the socket until playback hands that block to the device. The block
// (two frames) is handed on when the frame after it begins, so this is about 100 ms by
// design; what lies above 100 ms is the worker's.
void BM_ListenLatencyAtCameraPace(benchmark::State& state) {
  constexpr auto kPartPeriod = std::chrono::milliseconds(50);
  TimedListening l;
  if (!l.connected) return state.SkipWithError("no connection");

  std::vector<double> millis;
  auto first_sent = Clock::now();
  l.camera.Send(l.NextPart());
  for (auto _ : state) {
    std::this_thread::sleep_until(first_sent + kPartPeriod);
    l.camera.Send(l.NextPart());  // completes the block
    std::this_thread::sleep_until(first_sent + 2 * kPartPeriod);
    const uint32_t before = l.writes.load(std::memory_order_acquire);
    const auto next_first_sent = Clock::now();
    l.camera.Send(l.NextPart());  // begins the next block, which hands this one on
    l.writes.wait(before, std::memory_order_acquire);
    const auto elapsed = std::chrono::duration<double>(Clock::now() - first_sent);
    state.SetIterationTime(elapsed.count());
    millis.push_back(elapsed.count() * 1e3);
    first_sent = next_first_sent;
  }
  state.counters["p50_ms"] = Percentile(millis, 0.5);
  state.counters["p99_ms"] = Percentile(millis, 0.99);
  state.counters["max_ms"] = Percentile(millis, 1.0);
}
BENCHMARK(BM_ListenLatencyAtCameraPace)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

// The floor under the figure above: the same part over the same loopback socket to a
// thread blocked in a plain read(), which wakes the benchmark the same way.
void BM_LoopbackFloor(benchmark::State& state) {
  PartSender camera;
  std::atomic<uint32_t> reads{0};
  std::thread reader([&] {
    const int fd = test::ConnectToLoopback(camera.port());
    const std::string request = "GET / HTTP/1.0\r\n\r\n";
    if (fd >= 0 && write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
      char buf[4096];
      while (read(fd, buf, sizeof buf) > 0) {
        reads.fetch_add(1, std::memory_order_release);
        reads.notify_all();
      }
    }
    if (fd >= 0) close(fd);
  });
  if (!camera.Accept()) state.SkipWithError("no connection");
  reads.wait(0, std::memory_order_acquire);  // the reply's header
  const std::vector<std::string> parts = Parts(1);
  std::vector<double> micros;
  for (auto _ : state) {
    const uint32_t before = reads.load(std::memory_order_acquire);
    const auto start = Clock::now();
    camera.Send(parts[0]);
    reads.wait(before, std::memory_order_acquire);
    const auto elapsed = std::chrono::duration<double>(Clock::now() - start);
    state.SetIterationTime(elapsed.count());
    micros.push_back(elapsed.count() * 1e6);
    std::this_thread::sleep_for(std::chrono::microseconds(500));  // paced like the parts above
  }
  camera.Hangup();
  reader.join();
  state.counters["p50_us"] = Percentile(micros, 0.5);
  state.counters["p99_us"] = Percentile(micros, 0.99);
  state.counters["max_us"] = Percentile(micros, 1.0);
}
BENCHMARK(BM_LoopbackFloor)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

// Scanning and decoding one second of stream (20 parts with junk between them) that
// arrives in 256-byte pieces: the work the receive worker does per second of sound.
void BM_ScanAndDecodeOneSecond(benchmark::State& state) {
  std::string stream;
  const auto parts = Parts(20);
  for (size_t i = 0; i < parts.size(); ++i) stream += camsim::GarbageBetweenParts(static_cast<uint32_t>(i)) + parts[i];
  int16_t last = 0;
  for (auto _ : state) {
    SoundStream sound("multipart/x-mixed-replace;boundary=myboundary");
    const SoundStream::FrameOut take = [&](std::span<const int16_t, kFrameSamples> samples) { last = samples[0]; };
    for (size_t at = 0; at < stream.size(); at += 256) {
      const size_t n = std::min<size_t>(256, stream.size() - at);
      sound.Feed({reinterpret_cast<const uint8_t*>(stream.data()) + at, n}, take);
    }
    benchmark::DoNotOptimize(last);
  }
}
BENCHMARK(BM_ScanAndDecodeOneSecond)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
