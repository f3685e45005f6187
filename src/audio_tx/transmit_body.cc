#include "audio_tx/transmit_body.h"

#include <chrono>

#include "audio_tx/capture_ring.h"
#include "codec/fit_sample_count.h"
#include "codec/g726.h"

namespace vantorel {

namespace {

// Every change of the ring wakes the worker; this only bounds a wait should a wake-up ever
// be missed.
constexpr auto kWakeAtLeastEvery = std::chrono::seconds(1);

bool WritePiece(TransmitSink& sink, std::string_view piece) {
  return sink.Write(reinterpret_cast<const uint8_t*>(piece.data()), piece.size());
}

// The per-request work areas: one slot's copy, its fitted samples and their codes.
struct PartWork {
  CaptureBuffer captured;
  int16_t fitted[kTransmitPartSamples];
  uint8_t codes[kTransmitPartCodes];
};

}  // namespace

bool SendTransmitBody(CaptureRing& ring, TransmitSink& sink, TransmitBodyOptions options) {
  G726State encoder;
  G726InitState(encoder);
  bool prebuffering = true;
  // The write slot is the produced count modulo 64, so the next unread buffer is here.
  int read_slot = ring.Status().consumed % kCaptureSlots;
  PartWork work;

  const bool sent = sink.Send();
  bool ok = sent;
  ok = WritePiece(sink, kTransmitStatusLine) && ok;
  ok = WritePiece(sink, kTransmitContentType) && ok;
  ok = WritePiece(sink, kTransmitSeparator) && ok;

  while (ok || !options.end_on_failure) {
    const int need = prebuffering ? kTransmitPrebufferBuffers : 1;
    const CaptureStatus s = ring.WaitFor(
        [&](const CaptureStatus& st) {
          return st.state == TransmitState::kStop || (st.state == TransmitState::kCapturing && st.Waiting() >= need);
        },
        kWakeAtLeastEvery);
    if (s.state == TransmitState::kStop) break;
    if (s.state != TransmitState::kCapturing || s.Waiting() < need) continue;
    prebuffering = false;

    ring.CopySlot(read_slot, work.captured);
    FitSampleCount(work.fitted, work.captured.data(), kTransmitPartSamples, kCaptureBufferSamples);
    G726EncodeBlock(work.codes, work.fitted, kTransmitPartSamples, encoder);
    ok = WritePiece(sink, kTransmitPartHeader) && ok;
    ok = sink.Write(work.codes, kTransmitPartCodes) && ok;
    ok = WritePiece(sink, kTransmitSeparator) && ok;
    ring.CountConsumed();
    read_slot = (read_slot + 1) % kCaptureSlots;
  }
  sink.End();
  return sent;
}

}  // namespace vantorel
