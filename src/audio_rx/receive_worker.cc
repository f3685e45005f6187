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
  explicit OpenSink(const FrameSink& sink) : sink_(sink), open_(sink.open && sink.take && sink.open()) {}
  ~OpenSink() {
    if (open_ && sink_.close) sink_.close();
  }
  OpenSink(const OpenSink&) = delete;
  OpenSink& operator=(const OpenSink&) = delete;
  bool ok() const { return open_; }

 private:
  const FrameSink& sink_;
  const bool open_;
};

}  // namespace

FrameSink PlaybackSink(Playback& playback, AudioOutputOpener open_output) {
  return {
      .open = [&playback, open = std::move(open_output)] { return playback.OpenSession(open); },
      .take = [&playback](const uint8_t* frame, const FrameDecoder& decode) { playback.TakeFrame(frame, decode); },
      .close = [&playback] { playback.CloseSession(); },
  };
}

int ReceiveWorker(const std::shared_ptr<CancelToken>& stop, const std::string& url, const FrameSink& sink,
                  std::string* failure, Failure* outcome, const ReceiveOptions& options) {
  // Destroyed in reverse order: output, scanner and buffer, request.
  HttpGet get(stop);
  const auto fail = [&](const std::string& why, FailureReason reason = FailureReason::kNone) {
    LogFailure("receive: %s", why.c_str());
    if (failure) *failure = why;
    if (outcome) {
      *outcome = reason != FailureReason::kNone ? Failure{reason, 0, why} : get.Outcome(Endpoint::kSound);
    }
    return -1;
  };
  HttpGetLimits limits;
  if (options.stall_seconds > 0) limits.stall_seconds = options.stall_seconds;
  if (!get.Open(url, kSpeakerUserAgent, limits)) {
    if (get.state() == HttpGet::State::kCancelled) return 0;  // stopped before it began
    return fail(get.Error());
  }
  auto scanner = std::make_unique<FrameScanner>();
  auto buffer = std::make_unique<std::array<uint8_t, kReceiveReadBytes>>();

  // The first read waits for the camera's answer; libcurl connects only now. Nothing at
  // all from the camera (no status line) means the URL was not obtained.
  size_t got = get.Read(buffer->data(), buffer->size());
  if (got == 0 && get.state() == HttpGet::State::kFailed && get.ResponseCode() == 0) return fail(get.Error());
  if (stop->Cancelled()) return 0;

  const OpenSink output(sink);
  if (!output.ok()) return fail("the sound output did not open", FailureReason::kNoAudioDevice);

  G726State state;
  G726InitState(state);
  const FrameDecoder decode = [&state](int16_t* out, const uint8_t* bytes, int length) {
    return static_cast<int>(G726DecodeBlock(out, bytes, static_cast<size_t>(length), state));
  };
  const FrameScanner::FrameCallback take = [&](const uint8_t* frame) { sink.take(frame, decode); };

  int empty_reads = 0;
  for (;;) {
    empty_reads = got == 0 ? empty_reads + 1 : 0;
    if (got > 0) scanner->Feed(std::span(buffer->data(), got), take);
    if (empty_reads >= 2 || stop->Cancelled()) break;
    got = get.Read(buffer->data(), buffer->size());
  }
  if (get.state() == HttpGet::State::kFailed) LogFailure("receive: stream ended: %s", get.Error().c_str());
  if (scanner->InFrame()) LogFailure("receive: the stream ended inside a frame; its start was dropped");
  // Why the stream ended, for a caller that reconnects: an error page, a lost connection, or
  // the camera's own end of the stream (none).
  if (outcome) *outcome = stop->Cancelled() ? Failure{FailureReason::kStopped, 0, {}} : get.Outcome(Endpoint::kSound);
  return 0;
}

}  // namespace vantorel
