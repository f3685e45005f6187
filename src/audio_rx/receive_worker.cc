#include "audio_rx/receive_worker.h"

#include <array>
#include <span>

#include "audio_rx/sound_stream.h"
#include "net/http_get.h"
#include "runtime/log.h"
#include "sound_io/sound_format.h"

namespace vantorel {

namespace {

// Calls the sink's close when the session ends, if its open succeeded.
class OpenSink {
 public:
  explicit OpenSink(const SoundSink& sink) : sink_(sink), open_(sink.open && sink.take && sink.open()) {}
  ~OpenSink() {
    if (open_ && sink_.close) sink_.close();
  }
  OpenSink(const OpenSink&) = delete;
  OpenSink& operator=(const OpenSink&) = delete;
  bool ok() const { return open_; }

 private:
  const SoundSink& sink_;
  const bool open_;
};

// The session's read buffer.
struct WorkArea {
  std::array<uint8_t, kReceiveReadBytes> buffer;
};

// Sound may run ahead of the wall clock by the allowance at most.
class RealTimeCap {
 public:
  explicit RealTimeCap(std::function<void()> too_fast) : too_fast_(std::move(too_fast)) {}
  bool Admit(size_t samples) {
    const auto now = std::chrono::steady_clock::now();
    if (!started_) {
      start_ = now;
      started_ = true;
    }
    const double allowed =
        std::chrono::duration<double>(now - start_ + kRealTimeAllowance).count() * kAudioSampleRate;
    if (static_cast<double>(taken_ + samples) > allowed) {
      if (!warned_) {
        warned_ = true;
        LogFailure("receive: the camera sends sound faster than real time; the excess is dropped");
        if (too_fast_) too_fast_();
      }
      return false;
    }
    taken_ += samples;
    return true;
  }

 private:
  const std::function<void()> too_fast_;
  std::chrono::steady_clock::time_point start_;
  bool started_ = false;
  bool warned_ = false;
  uint64_t taken_ = 0;
};

Failure Logged(Failure failure) {
  if (failure.failed()) {
    LogFailure("receive: %s (HTTP %ld) %s", FailureName(failure.reason), failure.http_status, failure.detail.c_str());
  }
  return failure;
}

}  // namespace

SoundSink PlaybackSink(Playback& playback, AudioOutputOpener open_output) {
  return {
      .open = [&playback, open = std::move(open_output)] { return playback.OpenSession(open); },
      .take = [&playback](std::span<const int16_t, kFrameSamples> samples) { playback.TakeFrame(samples); },
      .close = [&playback] { playback.CloseSession(); },
  };
}

Failure ReceiveWorker(const std::shared_ptr<CancelToken>& stop, const std::string& url, const SoundSink& sink,
                      const ReceiveOptions& options) {
  // Destroyed in reverse order: sink, work area, request.
  HttpGet get(stop);
  get.RememberSignIns(options.sign_ins);
  HttpGetLimits limits;
  if (options.stall_seconds > 0) limits.stall_seconds = options.stall_seconds;
  if (!get.Open(url, kSpeakerUserAgent, limits)) return Logged(get.Outcome());
  auto work = std::make_unique<WorkArea>();

  // The first read waits for the camera's answer; libcurl connects only now. Nothing at
  // all from the camera (no status line) means the URL was not obtained; an error page is
  // not read on.
  size_t got = get.Read(work->buffer.data(), work->buffer.size());
  if (stop->Cancelled()) return {FailureReason::kStopped, 0, {}};
  const long status = get.ResponseCode();
  if (got == 0 && get.state() == HttpGet::State::kFailed && status == 0) return Logged(get.Outcome());
  if (status != 0 && (status < 200 || status >= 300)) return Logged(get.Outcome());  // its status, or the unsafe sign-in

  const OpenSink output(sink);
  if (!output.ok()) return Logged({FailureReason::kNoAudioDevice, 0, "the sound output did not open"});

  SoundStream stream(get.ContentType());
  RealTimeCap cap(options.too_fast);
  bool heard = false;
  const SoundStream::FrameOut take = [&](std::span<const int16_t, kFrameSamples> samples) {
    heard = true;
    sink.take(samples);
  };
  const SoundStream::Admit admit = [&cap](size_t samples) { return cap.Admit(samples); };
  auto sound_at = std::chrono::steady_clock::now();
  while (got > 0 && !stop->Cancelled()) {
    stream.Feed(std::span(work->buffer.data(), got), take, admit);
    const auto now = std::chrono::steady_clock::now();
    if (heard) {
      sound_at = now;
      heard = false;
    } else if (now - sound_at >= kNoSoundLimit) {
      const std::string what = stream.foreign_type().empty()
                                   ? "no sound parts Vantorel can find"
                                   : stream.foreign_type() + "; not a sound format Vantorel plays";
      return Logged({FailureReason::kNotSound, status, "the camera sends " + what});
    }
    got = get.Read(work->buffer.data(), work->buffer.size());
  }
  if (stop->Cancelled()) return {FailureReason::kStopped, 0, {}};
  // Why the stream ended: a lost connection, or the camera's own end of the stream (none).
  return Logged(get.Outcome());
}

}  // namespace vantorel
