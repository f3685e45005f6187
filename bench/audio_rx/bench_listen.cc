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

  // Takes the worker's connection, reads its request and answers with the reply's header
  // (the design's multipart stream unless `content_type` says otherwise).
  bool Accept(const std::string& content_type = camsim::kAudioContentType) {
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
    return Send("HTTP/1.0 200 OK\r\nContent-Type: " + content_type + "\r\n\r\n");
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
// With `times`, also notes when each block came (the first kMaxTimes).
class TimingOutput : public AudioOutput {
 public:
  static constexpr size_t kMaxTimes = 1024;
  explicit TimingOutput(std::atomic<uint32_t>* writes, std::vector<Clock::time_point>* times = nullptr)
      : writes_(*writes), times_(times) {}
  bool Write(std::span<const int16_t>) override {
    const uint32_t n = writes_.load(std::memory_order_relaxed);
    if (times_ != nullptr && n < times_->size()) (*times_)[n] = Clock::now();
    writes_.fetch_add(1, std::memory_order_release);
    writes_.notify_all();
    return true;
  }
  int PendingWrites() const override { return 0; }

 private:
  std::atomic<uint32_t>& writes_;
  std::vector<Clock::time_point>* const times_;
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

// Each dialect at its camera's pace: the design's 50 ms parts of G.726 ("audio/32KADPCM"),
// today's singlepart mu-law ("audio/basic") and today's multipart G.726-32 (64 ms parts with
// a Content-Length). For every play block handed to the device: the time since the piece
// holding its first sample left the camera, and the floor under it, the time since then
// until the piece that completes the frame after the block left (a block is handed on when
// that frame is taken). Counters: medians and worst of both, and of what lies above.
enum class Dialect { kDesignMultipart = 0, kMuLawSinglepart = 1, kG726Multipart = 2 };

void BM_ListenLatencyPerDialect(benchmark::State& state) {
  const auto dialect = static_cast<Dialect>(state.range(0));
  const size_t piece_samples = dialect == Dialect::kDesignMultipart ? 400 : 512;
  const auto period = std::chrono::microseconds(piece_samples * 125);  // 8000 samples/s
  std::string content_type = camsim::kAudioContentType;
  if (dialect == Dialect::kMuLawSinglepart) content_type = "audio/basic";
  // Silence in each coding: the content does not matter to the timing.
  auto piece = [&]() -> std::string {
    switch (dialect) {
      case Dialect::kDesignMultipart: return Parts(1)[0];
      case Dialect::kMuLawSinglepart: return std::string(piece_samples, '\xff');
      case Dialect::kG726Multipart:
        return "--myboundary\r\nContent-Type: audio/G726-32\r\nContent-Length: 256\r\n\r\n" +
               std::string(piece_samples / 2, '\x77') + "\r\n";
    }
    return {};
  }();

  std::vector<double> latency_ms, floor_ms, above_ms;
  for (auto _ : state) {
    std::atomic<uint32_t> writes{0};
    std::vector<Clock::time_point> times(TimingOutput::kMaxTimes);
    Playback playback;
    PartSender camera;
    const auto stop = CancelToken::Create();
    const AudioOutputOpener opener = [&](std::string&) -> std::unique_ptr<AudioOutput> {
      return std::make_unique<TimingOutput>(&writes, &times);
    };
    std::thread worker([&] { ReceiveWorker(stop, camera.Url(), PlaybackSink(playback, opener)); });
    if (!camera.Accept(content_type)) {
      stop->Cancel();
      camera.Hangup();
      worker.join();
      return state.SkipWithError("no connection");
    }
    constexpr size_t kPieces = 80;
    std::vector<Clock::time_point> sent(kPieces);
    const auto start = Clock::now();
    for (size_t i = 0; i < kPieces; ++i) {
      std::this_thread::sleep_until(start + i * period);
      sent[i] = Clock::now();
      camera.Send(piece);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop->Cancel();
    camera.Hangup();
    worker.join();
    const uint32_t blocks = std::min<uint32_t>(writes.load(), TimingOutput::kMaxTimes);
    for (uint32_t k = 0; k < blocks; ++k) {
      const size_t first_piece = size_t{k} * kPlayBlockSamples / piece_samples;
      const size_t next_piece = ((size_t{k} + 1) * kPlayBlockSamples + kFrameSamples - 1) / piece_samples;
      if (next_piece >= kPieces) break;
      const double latency = std::chrono::duration<double, std::milli>(times[k] - sent[first_piece]).count();
      const double floor = std::chrono::duration<double, std::milli>(sent[next_piece] - sent[first_piece]).count();
      latency_ms.push_back(latency);
      floor_ms.push_back(floor);
      above_ms.push_back(latency - floor);
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
  state.counters["blocks"] = static_cast<double>(latency_ms.size());
  state.counters["p50_ms"] = Percentile(latency_ms, 0.5);
  state.counters["max_ms"] = Percentile(latency_ms, 1.0);
  state.counters["floor_p50_ms"] = Percentile(floor_ms, 0.5);
  state.counters["above_p50_ms"] = Percentile(above_ms, 0.5);
  state.counters["above_max_ms"] = Percentile(above_ms, 1.0);
}
BENCHMARK(BM_ListenLatencyPerDialect)
    ->ArgName("dialect")
    ->DenseRange(0, 2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

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
