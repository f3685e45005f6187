#pragma once
// The body of the talk request. It imitates a server-push stream, which is what the camera
// expects on its transmit endpoint: a status line and a multipart content type of its own,
// then one part of G.726 32 kbit/s sound for every buffer the microphone stores in the
// capture ring, as long as the talk lasts. Byte by byte:
//
//   1  "HTTP/1.0 200 OK\r\n"                                               17 bytes
//   2  "Content-Type: multipart/x-mixed-replace;boundary=myboundary\r\n"  61
//   3  "\r\n--myboundary\r\n"                                              16
//   then per captured buffer:
//   4  "Content-Type: audio/32KADPCM\r\n\r\n"                              32
//   5  382 samples fitted to 400, G.726-coded, two codes per byte         200
//   6  "\r\n--myboundary\r\n"                                              16
//
// Each part (4 to 6) is 248 bytes and ends with the separator that opens the next; there
// is never a closing boundary, since the talk has no planned end.
//
// Today's cameras take a singlepart body instead (the request's own Content-Type names the
// sound): each captured buffer's 382 samples as they are, G.711 mu-law (382 bytes) or
// G.726-32 (191 bytes, the earlier code in the high half of a byte). They play what comes
// at 8 kHz, so nothing is stretched, and they end a session after 1 s without data, so
// silence is sent while nothing is captured.

#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "audio_tx/capture_ring.h"
#include "net/sign_in_memory.h"

namespace vantorel {

inline constexpr std::string_view kTransmitStatusLine = "HTTP/1.0 200 OK\r\n";
inline constexpr std::string_view kTransmitContentType =
    "Content-Type: multipart/x-mixed-replace;boundary=myboundary\r\n";
inline constexpr std::string_view kTransmitSeparator = "\r\n--myboundary\r\n";
inline constexpr std::string_view kTransmitPartHeader = "Content-Type: audio/32KADPCM\r\n\r\n";
inline constexpr int kTransmitPartSamples = 400;  // 50 ms at 8000 Hz
inline constexpr size_t kTransmitPartCodes = kTransmitPartSamples / 2;
inline constexpr size_t kTransmitPartBytes =
    kTransmitPartHeader.size() + kTransmitPartCodes + kTransmitSeparator.size();
// Announced as the body's length: the largest signed 32-bit value, practically unlimited.
inline constexpr int64_t kTransmitAnnouncedLength = 2147483647;
// Buffers that must be waiting before the first part goes out (about 191 ms of sound).
inline constexpr int kTransmitPrebufferBuffers = 4;
// A smaller announced length, for web servers that refuse the one above (413; a common cap
// is 1 GiB): a talk then goes on in successive requests of this length, as peers do.
inline constexpr int64_t kTransmitSmallAnnouncedLength = 9999999;
// Without a captured buffer for this long, a singlepart talk sends a buffer of silence.
inline constexpr std::chrono::milliseconds kTransmitSilenceAfter{100};

// How the talk's sound goes on the wire.
enum class TalkFormat {
  kDesignMultipart,  // the parts above, "audio/32KADPCM"
  kMuLaw,            // singlepart "audio/basic"
  kG726,             // singlepart "audio/G726-32"
};
// The request's Content-Type for a format (empty for the design's body, which has none).
const char* TalkContentType(TalkFormat format);

// Where the body goes: the HTTP request, or a test's recorder.
class TransmitSink {
 public:
  virtual ~TransmitSink() = default;
  // Sends the request head. Its result becomes SendTransmitBody's; the body is written
  // whatever it is.
  virtual bool Send() = 0;
  // One piece of the body, whole: the opening (1 to 3), then each part (4 to 6). The body
  // goes on whatever the result.
  virtual bool Write(const uint8_t* data, size_t size) = 0;
  // Ends the request (waits, bounded, for the camera's answer).
  virtual void End() = 0;
  // A part was written and taken (not the opening).
  virtual void PartTaken() {}
  // Body bytes the request may still take (its announced length less what went).
  virtual int64_t Room() const { return INT64_MAX; }
  // Ends this request and sends the next one's head, for a talk that outgrows its
  // announced length. False when the next request cannot be sent.
  virtual bool Renew() { return false; }
};

struct TransmitBodyOptions {
  TalkFormat format = TalkFormat::kDesignMultipart;
  // End the request at the first failed send or write instead of going on until the stop
  // (a talk that reconnects starts a new request instead).
  bool end_on_failure = false;
  // Once the camera has taken the request head, drop the buffers that waited meanwhile: a
  // talk coming back after a drop must not send the sound of its reconnecting late, in a
  // burst.
  bool discard_waiting_when_sent = false;
  // Cameras that have taken Digest get no Basic sign-in (net/sign_in_memory.h).
  SignInMemory* sign_ins = nullptr;
};

// Talk worker thread. Sends the head and the opening (pieces 1 to 3, the design's body only)
// at once, then waits on the capture ring (without polling) and writes one part per stored
// buffer, in capture order, reading from the slot of the consumed count on (slot 0 for a
// fresh ring) — the first only when four buffers are waiting, each later one as soon as it
// is stored — and counts each as consumed. One G.726 encoder state runs across the parts
// of a request. A part that the request has no room left for goes into the next one
// (Renew), which begins afresh (opening, encoder state): nothing is lost or sent twice.
// Ends the request when it sees TransmitState::kStop, even with buffers still waiting.
// Returns Send()'s result.
bool SendTransmitBody(CaptureRing& ring, TransmitSink& sink, TransmitBodyOptions options = {});

}  // namespace vantorel
