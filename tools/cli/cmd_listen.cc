// vantorel-cli listen URL [--seconds N] [-o OUT.wav]: the receive worker on the camera's
// audio stream. The sound goes to the default output device through playback, or with -o
// every decoded frame, exactly as the decoder produced it, to a WAV file instead, written as
// the sound comes (a recording of any length). Ends after N seconds, at the end of the
// stream, or on Ctrl+C (SIGINT) or SIGTERM.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "audio_rx/playback.h"
#include "audio_rx/receive_worker.h"
#include "commands.h"
#include "cli/failure_text.h"
#include "runtime/termination_signals.h"
#include "sound_io/sound_format.h"
#include "files/wav_file.h"
#include "station/station.h"

namespace vantorel::cli {
namespace {

using Clock = std::chrono::steady_clock;

// What the worker's sink hands to the command. With -o the worker adds decoded samples to
// `pending` and the command's loop takes them out to the file, both under `mutex`; at most
// kMostPending wait (a disk that cannot keep up loses the excess, counted, instead of
// growing the memory without end).
constexpr size_t kMostPending = 10 * kAudioSampleRate;

struct Received {
  std::atomic<long> frames{0};
  std::atomic<bool> too_fast{false};
  std::mutex mutex;
  std::vector<int16_t> pending;
  long dropped = 0;  // frames the writer had no room for; guarded by mutex

  std::vector<int16_t> TakePending() {
    std::vector<int16_t> out;
    std::lock_guard lock(mutex);
    out.swap(pending);
    return out;
  }
};

SoundSink CountingPlayback(Playback& playback, const std::shared_ptr<Received>& received) {
  SoundSink sink = PlaybackSink(playback);
  sink.take = [&playback, received](std::span<const int16_t, kFrameSamples> samples) {
    playback.TakeFrame(samples);
    received->frames.fetch_add(1);
  };
  return sink;
}

SoundSink Recorder(const std::shared_ptr<Received>& received) {
  return {
      .open = [] { return true; },
      .take =
          [received](std::span<const int16_t, kFrameSamples> samples) {
            std::lock_guard lock(received->mutex);
            if (received->pending.size() + samples.size() > kMostPending) {
              ++received->dropped;
              return;
            }
            received->pending.insert(received->pending.end(), samples.begin(), samples.end());
            received->frames.fetch_add(1);
          },
      .close = [] {},
  };
}

int Usage() {
  std::fputs("usage: vantorel-cli listen URL [--seconds N] [-o OUT.wav] [--once]\n", stderr);
  return 2;
}

}  // namespace

int RunListen(int argc, char** argv) {
  const char* url = nullptr;
  const char* output = nullptr;
  std::optional<double> seconds;
  bool once = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      char* end = nullptr;
      const double s = std::strtod(argv[++i], &end);
      if (*end || !(s > 0) || s > 1e7) return Usage();
      seconds = s;
    } else if (std::strcmp(argv[i], "--once") == 0) {
      once = true;
    } else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      output = argv[++i];
    } else if (!url && argv[i][0] != '-') {
      url = argv[i];
    } else {
      return Usage();
    }
  }
  if (!url) return Usage();

  const bool playing = output == nullptr;
  // The file is created before listening starts, so that a path that cannot be written
  // is reported at once rather than after the recording.
  WavWriter file;
  std::string file_error;
  if (output && !file.Open(output, kAudioSampleRate, file_error)) {
    std::fprintf(stderr, "vantorel-cli: %s\n", file_error.c_str());
    return 1;
  }
  bool file_ok = true;
  auto received = std::make_shared<Received>();
  auto write_pending = [&] {
    if (output && file_ok) file_ok = file.Append(received->TakePending(), file_error);
  };
  bool interrupted = false;
  TerminationSignals signals;  // before the worker starts: its threads inherit the mask
  Station station;
  station.settings().SetReceiveUrl(url);  // this run only; the parameter file is not touched
  {
    const auto start = Clock::now();
    station.StartListening(playing ? CountingPlayback(station.playback(), received) : Recorder(received),
                           {.reconnect = !once, .too_fast = [received] { received->too_fast = true; }});
    bool told_too_fast = false;
    for (;;) {
      if (station.WaitStopped(StationWorker::kListen, Clock::now())) break;
      if (received->too_fast && !told_too_fast) {
        told_too_fast = true;
        std::fputs("vantorel-cli: the camera sends sound faster than real time; the excess is dropped\n", stderr);
      }
      long wait_ms = 50;
      if (seconds) {
        // That much time, or that much sound, whichever comes first.
        const double left = *seconds - std::chrono::duration<double>(Clock::now() - start).count();
        if (left <= 0 || received->frames.load() * 0.05 >= *seconds) break;
        wait_ms = std::min(wait_ms, static_cast<long>(left * 1000) + 1);
      }
      if (signals.Wait(std::chrono::milliseconds(wait_ms))) {
        interrupted = true;
        break;
      }
      write_pending();
      if (!file_ok) break;
    }
    station.StopListening();
    station.WaitStopped(StationWorker::kListen, Clock::time_point::max());
    write_pending();
  }

  const long frames = received->frames.load();
  std::printf("%ld frames (%.2f s of sound)%s\n", frames, frames * 0.05, interrupted ? ", interrupted" : "");
  {
    std::lock_guard lock(received->mutex);
    if (received->dropped > 0) {
      std::fprintf(stderr, "vantorel-cli: %ld frames lost: the file could not be written fast enough\n",
                   received->dropped);
    }
  }
  const WorkerStatus status = station.Status(StationWorker::kListen);
  if (status.state == WorkerState::kFailed) {
    std::fprintf(stderr, "vantorel-cli: no stream: %s\n", DescribeFailure(status.failure, true).c_str());
    return FailureExitCode(status.failure.reason);
  }
  if (output && !(file_ok && file.Finish(file_error))) {
    std::fprintf(stderr, "vantorel-cli: %s\n", file_error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace vantorel::cli
