#pragma once
// One listening session: a GET of the receive URL, the camera's endless multipart stream
// read piece by piece, every frame found in it decoded and handed to playback.
//
// Session start, in this order (a failure ends the session with -1):
//   1. the request to the receive URL, with the agent "Halvicor Speaker read.";
//   2. the work area (frame scanner and read buffer);
//   3. the camera's first answer: a camera that cannot be reached or refuses the
//      connection is a failed start (libcurl connects only when the first read asks);
//   4. the output (playback on the sound device);
//   5. the decoder state, initialised once, then the first bytes are scanned.
// Then pieces are read and scanned until a stop is requested or two reads in a row bring
// nothing (the stream ended or the connection was lost), which is a normal end (0). Status
// codes and headers are not examined: an error page is scanned like any body and holds
// no frames.
// Session end, in this order, each only for what was obtained: the output is closed, the
// work area freed, the request closed.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audio_rx/playback.h"
#include "sound_io/audio_output.h"
#include "runtime/cancel_token.h"
#include "runtime/failure.h"

namespace vantorel {

inline constexpr const char* kSpeakerUserAgent = "Halvicor Speaker read.";

// Bytes asked for per read. A read returns as soon as any bytes have arrived, so this only
// bounds the piece, not the wait.
inline constexpr size_t kReceiveReadBytes = 4096;

// Where a session's frames go. The program plays them (PlaybackSink); vantorel-cli can
// write them to a file instead, and tests watch them. The functions run on the worker's
// thread.
struct FrameSink {
  std::function<bool()> open;   // at session start; false ends the session with -1
                                // (open and take are required)
  std::function<void(const uint8_t* frame, const FrameDecoder& decode)> take;  // each frame, in order
  std::function<void()> close;  // at session end, only after a successful open
};

// `playback` on the output that `open_output` opens (SDL's default device unless a test
// says otherwise). `playback` must outlive the sink's use.
FrameSink PlaybackSink(Playback& playback, AudioOutputOpener open_output = OpenSdlAudioOutput);

struct ReceiveOptions {
  // The stream fails as stalled when under 1 byte/s arrives for this long (0: the HTTP
  // layer's default, 10 s). A listener that reconnects uses 3 s.
  long stall_seconds = 0;
};

// Runs one session on the calling thread with `url`. Returns 0 after a normal end (a stop
// through `stop`, or the end of the stream), -1 after a failed start, with a one-line
// reason in `*failure` when given. `*outcome`, when given, says why it ended, classified
// (after a normal end too: an error page, a lost connection, or none when the camera ended
// the stream). Cancelling `stop` (from any thread) ends the session promptly: a read
// blocked on a silent camera returns at once.
int ReceiveWorker(const std::shared_ptr<CancelToken>& stop, const std::string& url, const FrameSink& sink,
                  std::string* failure = nullptr, Failure* outcome = nullptr, const ReceiveOptions& options = {});

}  // namespace vantorel
