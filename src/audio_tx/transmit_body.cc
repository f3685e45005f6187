#include "audio_tx/transmit_body.h"

#include <array>
#include <chrono>
#include <cstring>

#include "audio_tx/capture_ring.h"
#include "codec/fit_sample_count.h"
#include "codec/g726.h"

namespace vantorel {

namespace {

// Every change of the ring wakes the worker; this only bounds a wait should a wake-up ever
// be missed.
constexpr auto kWakeAtLeastEvery = std::chrono::seconds(1);

constexpr size_t kOpeningBytes = kTransmitStatusLine.size() + kTransmitContentType.size() + kTransmitSeparator.size();

// Pieces laid side by side, so that each goes out in one write.
template <size_t N>
size_t Put(std::array<uint8_t, N>& out, size_t at, std::string_view piece) {
  std::memcpy(out.data() + at, piece.data(), piece.size());
  return at + piece.size();
}

// The per-request work areas: one slot's copy, its fitted samples, and the part.
struct PartWork {
  CaptureBuffer captured;
  int16_t fitted[kTransmitPartSamples];
  std::array<uint8_t, kTransmitPartBytes> part;
};

}  // namespace

bool SendTransmitBody(CaptureRing& ring, TransmitSink& sink, TransmitBodyOptions options) {
  G726State encoder;
  G726InitState(encoder);
  bool prebuffering = true;
  PartWork work;
  // The codes go between the part's fixed header and separator.
  uint8_t* const codes = work.part.data() + kTransmitPartHeader.size();
  Put(work.part, 0, kTransmitPartHeader);
  Put(work.part, kTransmitPartHeader.size() + kTransmitPartCodes, kTransmitSeparator);

  const bool sent = sink.Send();
  if (sent && options.discard_waiting_when_sent) ring.DiscardWaiting();
  // The write slot is the produced count modulo 64, so the next unread buffer is here.
  int read_slot = ring.Status().consumed % kCaptureSlots;
  std::array<uint8_t, kOpeningBytes> opening;
  Put(opening, Put(opening, Put(opening, 0, kTransmitStatusLine), kTransmitContentType), kTransmitSeparator);
  bool ok = sink.Write(opening.data(), opening.size()) && sent;

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
    G726EncodeBlock(codes, work.fitted, kTransmitPartSamples, encoder);
    ok = sink.Write(work.part.data(), work.part.size()) && ok;
    ring.CountConsumed();
    read_slot = (read_slot + 1) % kCaptureSlots;
  }
  sink.End();
  return sent;
}

}  // namespace vantorel
