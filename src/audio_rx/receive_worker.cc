#include "audio_rx/receive_worker.h"

#include <array>
#include <span>

#include "audio_rx/frame_scanner.h"
#include "codec/g726.h"
#include "platform/http_get.h"
#include "platform/log.h"
#include "settings/camera_urls.h"

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

FrameSink PlaybackSink(AudioOutputOpener open_output) {
  return {
      .open = [open = std::move(open_output)] { return OpenPlaybackSession(open); },
      .take = [](const uint8_t* frame, const FrameDecoder& decode) { TakePlaybackFrame(frame, decode); },
      .close = [] { ClosePlaybackSession(); },
  };
}

int ReceiveWorker(const std::shared_ptr<CancelToken>& stop, const FrameSink& sink) {
  // Destroyed in reverse order: output, scanner and buffer, request.
  HttpGet get(stop);
  if (!get.Open(GetReceiveUrl(), kSpeakerUserAgent)) {
    if (get.state() == HttpGet::State::kCancelled) return 0;  // stopped before it began
    LogFailure("receive: %s", get.Error().c_str());
    return -1;
  }
  auto scanner = std::make_unique<FrameScanner>();
  auto buffer = std::make_unique<std::array<uint8_t, kReceiveReadBytes>>();

  // The first read waits for the camera's answer; libcurl connects only now. Nothing at
  // all from the camera (no status line) means the URL was not obtained.
  size_t got = get.Read(buffer->data(), buffer->size());
  if (got == 0 && get.state() == HttpGet::State::kFailed && get.ResponseCode() == 0) {
    LogFailure("receive: %s", get.Error().c_str());
    return -1;
  }
  if (stop->Cancelled()) return 0;

  const OpenSink output(sink);
  if (!output.ok()) return -1;

  G726State state;
  g726_init_state(state);
  const FrameDecoder decode = [&state](int16_t* out, const uint8_t* bytes, int length) {
    return static_cast<int>(g726_decode_block(out, bytes, static_cast<size_t>(length), state));
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
  return 0;
}

}  // namespace vantorel
