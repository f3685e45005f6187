// vantorel-cli talk URL -i IN.wav [--fast] | --mic [--once]: talks to the camera's
// loudspeaker the way the window does: the sound goes through the capture ring, in buffers
// of 382 samples, to the transmit worker. A file is paced like the microphone (47.75 ms per
// buffer) unless --fast, and every buffer of it is sent before the talk stops; --mic talks
// from the default capture device until Ctrl+C, and comes back after a drop unless --once.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <mutex>

#include "audio_tx/capture_ring.h"
#include "audio_tx/transmit_body.h"
#include "audio_tx/transmit_worker.h"
#include "commands.h"
#include "cli/failure_text.h"
#include "runtime/termination_signals.h"
#include "files/wav_file.h"
#include "station/station.h"

namespace vantorel::cli {

namespace {

using std::chrono::duration;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr auto kBufferPeriod = std::chrono::microseconds(47750);  // 382 samples at 8000 Hz
// The file never runs more than this many buffers ahead of the worker, so that the ring
// never overwrites one before it is sent.
constexpr int kMostAhead = kCaptureSlots / 2;

// Waits until `ready` holds, the worker has ended or failed, or Ctrl+C. True when `ready`
// holds. (A camera that stops taking the talk fails it within the HTTP layer's stall limit.)
bool WaitForWorker(Station& station, TerminationSignals& signals,
                   const std::function<bool(const CaptureStatus&)>& ready) {
  for (;;) {
    // A talk that failed goes on taking buffers until the stop; the file need not wait for it.
    if (station.Status(StationWorker::kTalk).state == WorkerState::kFailed) return false;
    if (ready(station.ring().WaitFor(ready, milliseconds(50)))) return true;
    if (signals.Received() || station.WaitStopped(StationWorker::kTalk, steady_clock::now())) return false;
  }
}

// The file's sound in whole buffers: the last one padded with silence, and at least the
// four the worker waits for before its first part.
std::vector<int16_t> InWholeBuffers(std::vector<int16_t> samples) {
  const size_t per = kCaptureBufferSamples;
  const size_t buffers = std::max<size_t>((samples.size() + per - 1) / per, kTransmitPrebufferBuffers);
  samples.resize(buffers * per, 0);
  return samples;
}

int Finish(Station& station, TerminationSignals& signals, steady_clock::time_point start, bool complete) {
  station.StopTalk();
  station.WaitStopped(StationWorker::kTalk, steady_clock::time_point::max());
  const TransmitReport report = station.LastTalkReport();
  // Judged once the request has ended, so an answer that came after the last write counts.
  if (!report.Succeeded()) {
    Failure failure = report.failure;
    if (!failure.failed()) failure = {FailureReason::kNoAnswer, 0, "the request head never reached the camera"};
    std::fprintf(stderr, "vantorel-cli: the camera did not take the talk: %s\n", DescribeFailure(failure, true).c_str());
    return FailureExitCode(failure.reason);
  }
  std::printf("sent %d buffers (%.2f s of sound) in %.2f s\n", report.parts,
              report.parts * duration<double>(kBufferPeriod).count(),
              duration<double>(steady_clock::now() - start).count());
  if (signals.Received()) return 130;
  return complete ? 0 : 1;
}

int TalkFromFile(Station& station, TerminationSignals& signals, const std::vector<int16_t>& sound, bool fast) {
  const int buffers = static_cast<int>(sound.size() / kCaptureBufferSamples);
  station.StartTalk({.open_microphone = false});
  const auto start = steady_clock::now();
  int stored = 0;
  bool complete = true;
  for (; stored < buffers; ++stored) {
    if (!fast) std::this_thread::sleep_until(start + stored * kBufferPeriod);
    if (!WaitForWorker(station, signals, [](const CaptureStatus& s) { return s.Waiting() < kMostAhead; })) {
      complete = false;
      break;
    }
    station.ring().Store(std::span(sound).subspan(static_cast<size_t>(stored) * kCaptureBufferSamples,
                                                   kCaptureBufferSamples));
  }
  // Every stored buffer goes out before the stop; the worker drops what still waits then.
  if (complete) complete = WaitForWorker(station, signals, [](const CaptureStatus& s) { return s.Waiting() == 0; });
  return Finish(station, signals, start, complete);
}

// Device failures, reported from the talk worker's thread.
class DeviceErrors {
 public:
  void Add(std::string text) {
    std::lock_guard lock(mutex_);
    errors_.push_back(std::move(text));
  }
  std::vector<std::string> Get() const {
    std::lock_guard lock(mutex_);
    return errors_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> errors_;
};

int TalkFromMicrophone(Station& station, TerminationSignals& signals, const DeviceErrors& device_errors, bool once) {
  station.StartTalk({.reconnect = !once});
  const auto start = steady_clock::now();
  std::fputs("talking; Ctrl+C ends the talk\n", stderr);
  while (!signals.Wait(milliseconds(100)) && device_errors.Get().empty() &&
         !station.WaitStopped(StationWorker::kTalk, steady_clock::now())) {
  }
  const std::vector<std::string> errors = device_errors.Get();
  const int code = Finish(station, signals, start, errors.empty());
  for (const std::string& error : errors) std::fprintf(stderr, "vantorel-cli: %s\n", error.c_str());
  return code == 130 ? 0 : code;  // Ctrl+C is the way a microphone talk ends
}

}  // namespace

int RunTalk(int argc, char** argv) {
  const char* url = nullptr;
  const char* input = nullptr;
  bool fast = false;
  bool mic = false;
  bool once = false;
  bool bad = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-i") == 0 && i + 1 < argc) {
      input = argv[++i];
    } else if (std::strcmp(argv[i], "--fast") == 0) {
      fast = true;
    } else if (std::strcmp(argv[i], "--mic") == 0) {
      mic = true;
    } else if (std::strcmp(argv[i], "--once") == 0) {
      once = true;
    } else if (!url && argv[i][0] != '-') {
      url = argv[i];
    } else {
      bad = true;
    }
  }
  if (bad || !url || (mic == (input != nullptr)) || (mic && fast) || (once && !mic)) {
    std::fputs("usage: vantorel-cli talk URL -i IN.wav [--fast]\n"
               "       vantorel-cli talk URL --mic [--once]\n",
               stderr);
    return 2;
  }
  std::vector<int16_t> sound;
  if (input) {
    std::string error;
    if (!ReadWavMono16(input, kAudioSampleRate, sound, error)) {
      std::fprintf(stderr, "vantorel-cli: %s\n", error.c_str());
      return 1;
    }
    sound = InWholeBuffers(std::move(sound));
  }
  TerminationSignals signals;  // before the worker starts: its threads inherit the mask
  DeviceErrors errors;
  StationObserver observer;
  observer.microphone_failed = [&errors](const Failure& failure) {
    errors.Add("the microphone did not open: " + failure.detail);
  };
  Station station(observer);
  station.settings().SetTransmitUrl(url);  // this run only; the parameter file is not touched
  if (!mic) return TalkFromFile(station, signals, sound, fast);
  return TalkFromMicrophone(station, signals, errors, once);
}

}  // namespace vantorel::cli
