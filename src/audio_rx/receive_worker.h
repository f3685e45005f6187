#pragma once
// One listening session: a GET of the receive URL, the camera's endless sound stream read
// piece by piece in whatever dialect its Content-Type names (sound_stream.h), every frame
// decoded and handed, as samples, to a sink (playback on the sound device, a recorder, a
// test).
//
// Session start, in this order (a failure ends the session with it):
//   1. the request to the receive URL, with the agent "Halvicor Speaker read.";
//   2. the camera's first answer: a camera that cannot be reached or refuses the connection
//      is a failed start (libcurl connects only when the first read asks), and an answer
//      with an error status ends the session at once (kErrorStatus, its body not read on);
//   3. the sink (playback opens the output);
//   4. the decoder, initialised once, then the first bytes are read.
// Then pieces are read until a stop is requested or the stream ends (the camera ended it,
// or the connection was lost). Bytes that bring no sound we play for kNoSoundLimit end the
// session as kNotSound, naming what came instead. Sound arriving faster than real time
// (beyond kRealTimeAllowance) is dropped undecoded.
// Session end, in this order, each only for what was obtained: the sink is closed, the
// work area freed, the request closed.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "audio_rx/playback.h"
#include "net/sign_in_memory.h"
#include "runtime/cancel_token.h"
#include "runtime/failure.h"
#include "sound_io/audio_output.h"

namespace vantorel {

inline constexpr const char* kSpeakerUserAgent = "Halvicor Speaker read.";

// Bytes asked for per read. A read returns as soon as any bytes have arrived, so this only
// bounds the piece, not the wait.
inline constexpr size_t kReceiveReadBytes = 4096;

// Where a session's sound goes: one frame's samples (kFrameSamples, 50 ms) at a time. The
// program plays them (PlaybackSink); vantorel-cli can write them to a file instead, and
// tests watch them. The functions run on the worker's thread.
struct SoundSink {
  std::function<bool()> open;   // at session start; false ends the session (kNoAudioDevice)
  std::function<void(std::span<const int16_t, kFrameSamples> samples)> take;  // each frame, in order
  std::function<void()> close;  // at session end, only after a successful open
};

// `playback` on the output that `open_output` opens (SDL's default device unless a test
// says otherwise). `playback` must outlive the sink's use.
SoundSink PlaybackSink(Playback& playback, AudioOutputOpener open_output = OpenSdlAudioOutput);

// A stream that brings bytes but no sound we play for this long is given up.
inline constexpr std::chrono::seconds kNoSoundLimit{3};
// How far ahead of real time the camera's sound may run (a camera sends 20 parts a second,
// and may send its buffer at once on connecting or after a hiccup); beyond, it is dropped.
inline constexpr std::chrono::seconds kRealTimeAllowance{3};

struct ReceiveOptions {
  // The stream fails as stalled when no byte arrives for this long (0: the HTTP layer's
  // default, 10 s). A listener that reconnects uses 3 s.
  long stall_seconds = 0;
  // Told once per session, on the worker's thread, when sound is dropped for coming faster
  // than real time.
  std::function<void()> too_fast;
  // Cameras that have taken Digest get no Basic sign-in (net/sign_in_memory.h).
  SignInMemory* sign_ins = nullptr;
};

// Runs one session on the calling thread with `url` and says how it ended: kStopped after a
// stop through `stop`, kNone when the camera ended the stream, otherwise the failure (an
// error status as kErrorStatus, for the caller to classify). Cancelling `stop` (from any
// thread) ends the session promptly: a read blocked on a silent camera returns at once.
Failure ReceiveWorker(const std::shared_ptr<CancelToken>& stop, const std::string& url, const SoundSink& sink,
                      const ReceiveOptions& options = {});

}  // namespace vantorel
