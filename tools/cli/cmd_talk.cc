// vantorel-cli talk URL -i IN.wav [--fast] | --mic: talks to the camera's loudspeaker the way
// the window does: the sound goes through the capture ring, in buffers of 382 samples, to
// the transmit worker. A file is paced like the microphone (47.75 ms per buffer) unless
// --fast, and every buffer of it is sent before the talk stops; --mic talks from the
// default capture device until Ctrl+C.

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio_tx/capture_ring.h"
#include "audio_tx/microphone.h"
#include "audio_tx/transmit_body.h"
#include "audio_tx/transmit_worker.h"
#include "commands.h"
#include "platform/headless_host.h"
#include "platform/wav_file.h"
#include "settings/camera_urls.h"

namespace vantorel::cli {

namespace {

using std::chrono::duration;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr auto kBufferPeriod = std::chrono::microseconds(47750);  // 382 samples at 8000 Hz
// The file never runs more than this many buffers ahead of the worker, so that the ring
// never overwrites one before it is sent.
constexpr int kMostAhead = kCaptureSlots / 2;
// A camera that takes nothing for this long is given up.
constexpr auto kStallLimit = std::chrono::seconds(10);

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) { g_interrupted.store(true); }

void CatchInterrupt() {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void StoreSamples(const int16_t* samples) {
  AudioBuffer header{};
  header.data = reinterpret_cast<uint8_t*>(const_cast<int16_t*>(samples));
  header.length = kCaptureBufferBytes;
  header.bytes_recorded = kCaptureBufferBytes;
  header.flags = AUDIO_BUFFER_DONE;
  header.loops = 1;
  StoreCapturedBuffer(&header);
}

// Waits until `ready` holds, the worker has ended, Ctrl+C, or the worker has taken nothing
// for kStallLimit. True when `ready` holds.
bool WaitForWorker(const TransmitHandle& handle, const std::function<bool(const CaptureStatus&)>& ready) {
  int consumed = GetCaptureStatus().consumed;
  auto progress_at = steady_clock::now();
  for (;;) {
    const CaptureStatus s = WaitForCapture(ready, milliseconds(50));
    if (ready(s)) return true;
    if (g_interrupted.load() || handle.Ended()) return false;
    if (s.consumed != consumed) {
      consumed = s.consumed;
      progress_at = steady_clock::now();
    } else if (steady_clock::now() - progress_at > kStallLimit) {
      std::fputs("vantorel-cli: the camera has taken nothing for 10 s; giving up\n", stderr);
      return false;
    }
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

int Finish(TransmitHandle& handle, int buffers, steady_clock::time_point start, bool complete) {
  StopTransmit(handle);
  JoinTransmit(handle);
  CaptureRingDestroy();
  const TransmitReport report = handle.Report();
  if (!report.opened) {
    std::fprintf(stderr, "vantorel-cli: %s\n", report.error.c_str());
    return 1;
  }
  if (!report.sent || report.failed_writes > 0) {
    std::fprintf(stderr, "vantorel-cli: the camera did not take the talk: %s\n", report.error.c_str());
    return 1;
  }
  std::printf("sent %d buffers (%.2f s of sound) in %.2f s\n", buffers,
              buffers * duration<double>(kBufferPeriod).count(),
              duration<double>(steady_clock::now() - start).count());
  if (g_interrupted.load()) return 130;
  return complete ? 0 : 1;
}

int TalkFromFile(const std::vector<int16_t>& sound, bool fast) {
  const int buffers = static_cast<int>(sound.size() / kCaptureBufferSamples);
  TransmitHandle handle = StartTransmit();
  if (!handle) {
    std::fputs("vantorel-cli: cannot start the transmit worker\n", stderr);
    return 1;
  }
  const auto start = steady_clock::now();
  int stored = 0;
  bool complete = true;
  for (; stored < buffers; ++stored) {
    if (!fast) std::this_thread::sleep_until(start + stored * kBufferPeriod);
    if (!WaitForWorker(handle, [](const CaptureStatus& s) { return s.Waiting() < kMostAhead; })) {
      complete = false;
      break;
    }
    StoreSamples(sound.data() + static_cast<size_t>(stored) * kCaptureBufferSamples);
  }
  // Every stored buffer goes out before the stop; the worker drops what still waits then.
  if (complete) complete = WaitForWorker(handle, [](const CaptureStatus& s) { return s.Waiting() == 0; });
  return Finish(handle, complete ? buffers : GetCaptureStatus().consumed, start, complete);
}

int TalkFromMicrophone() {
  HeadlessHost host;
  ScopedHost scoped(&host);
  TransmitHandle handle = StartTransmit();
  if (!handle) {
    std::fputs("vantorel-cli: cannot start the transmit worker\n", stderr);
    return 1;
  }
  const auto start = steady_clock::now();
  MicrophoneHandle microphone;
  bool opened = OpenMicrophone(microphone);
  if (opened) {
    std::fputs("talking; Ctrl+C ends the talk\n", stderr);
    while (!g_interrupted.load() && host.ErrorBoxCaptions().empty()) {
      host.RunUntil([] { return g_interrupted.load(); }, milliseconds(100));
    }
    CloseMicrophone(microphone);
    host.RunPending();  // the buffers handed back by the close
  }
  for (size_t i = 0; i < host.ErrorBoxCaptions().size(); ++i) {
    std::fprintf(stderr, "vantorel-cli: %s: %s\n", host.ErrorBoxCaptions()[i].c_str(),
                 host.ErrorBoxTexts()[i].c_str());
    opened = false;
  }
  const int code = Finish(handle, GetCaptureStatus().consumed, start, opened);
  return code == 130 ? 0 : code;  // Ctrl+C is the way a microphone talk ends
}

}  // namespace

int RunTalk(int argc, char** argv) {
  const char* url = nullptr;
  const char* input = nullptr;
  bool fast = false;
  bool mic = false;
  bool bad = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-i") == 0 && i + 1 < argc) {
      input = argv[++i];
    } else if (std::strcmp(argv[i], "--fast") == 0) {
      fast = true;
    } else if (std::strcmp(argv[i], "--mic") == 0) {
      mic = true;
    } else if (!url && argv[i][0] != '-') {
      url = argv[i];
    } else {
      bad = true;
    }
  }
  if (bad || !url || (mic == (input != nullptr)) || (mic && fast)) {
    std::fputs("usage: vantorel-cli talk URL -i IN.wav [--fast]\n"
               "       vantorel-cli talk URL --mic\n",
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
  SetTransmitUrl(url);  // this run only; the parameter file is not touched
  if (!CaptureRingCreate()) {
    std::fputs("vantorel-cli: out of memory\n", stderr);
    return 1;
  }
  CatchInterrupt();
  return mic ? TalkFromMicrophone() : TalkFromFile(sound, fast);
}

}  // namespace vantorel::cli
