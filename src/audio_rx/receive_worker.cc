#include "audio_rx/receive_worker.h"

#include <array>
#include <span>

#include "audio_rx/frame_scanner.h"
#include "codec/g726.h"
#include "net/http_get.h"
#include "runtime/log.h"

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

// The session's work area: what it reads, and the decoder with its state.
struct WorkArea {
  FrameScanner scanner;
  std::array<uint8_t, kReceiveReadBytes> buffer;
  G726State decoder;
  std::array<int16_t, kFrameSamples> samples;
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
  HttpGetLimits limits;
  if (options.stall_seconds > 0) limits.stall_seconds = options.stall_seconds;
  if (!get.Open(url, kSpeakerUserAgent, limits)) return Logged(get.Outcome());
  auto work = std::make_unique<WorkArea>();

  // The first read waits for the camera's answer; libcurl connects only now. Nothing at
  // all from the camera (no status line) means the URL was not obtained.
  size_t got = get.Read(work->buffer.data(), work->buffer.size());
  if (stop->Cancelled()) return {FailureReason::kStopped, 0, {}};
  if (got == 0 && get.state() == HttpGet::State::kFailed && get.ResponseCode() == 0) return Logged(get.Outcome());

  const OpenSink output(sink);
  if (!output.ok()) return Logged({FailureReason::kNoAudioDevice, 0, "the sound output did not open"});

  G726InitState(work->decoder);
  const FrameScanner::FrameCallback take = [&](const uint8_t* frame) {
    G726DecodeBlock(work->samples.data(), frame, kFrameBytes, work->decoder);
    sink.take(work->samples);
  };
  while (got > 0 && !stop->Cancelled()) {
    work->scanner.Feed(std::span(work->buffer.data(), got), take);
    got = get.Read(work->buffer.data(), work->buffer.size());
  }
  if (work->scanner.InFrame()) LogFailure("receive: the stream ended inside a frame; its start was dropped");
  if (stop->Cancelled()) return {FailureReason::kStopped, 0, {}};
  // Why the stream ended: an error page, a lost connection, or the camera's own end of the
  // stream (none).
  return Logged(get.Outcome());
}

}  // namespace vantorel
