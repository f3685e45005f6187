#include "audio_tx/transmit_body.h"

#include <chrono>

#include "audio_tx/capture_ring.h"
#include "codec/fit_sample_count.h"
#include "codec/g726.h"
#include "platform/log.h"

namespace vantorel {

namespace {

// Every change of the ring wakes the worker; this only bounds a wait should a wake-up ever
// be missed.
constexpr auto kWakeAtLeastEvery = std::chrono::seconds(1);

void WritePiece(TransmitSink& sink, std::string_view piece) {
  sink.Write(reinterpret_cast<const uint8_t*>(piece.data()), piece.size());
}

// The per-request work areas: one slot's copy, its fitted samples and their codes.
struct PartWork {
  int16_t captured[kCaptureBufferSamples];
  int16_t fitted[kTransmitPartSamples];
  uint8_t codes[kTransmitPartCodes];
};

}  // namespace

bool SendTransmitBody(TransmitSink& sink) {
  G726State encoder;
  g726_init_state(encoder);
  bool prebuffering = true;
  int read_slot = 0;
  PartWork work;

  const bool sent = sink.Send();
  WritePiece(sink, kTransmitStatusLine);
  WritePiece(sink, kTransmitContentType);
  WritePiece(sink, kTransmitSeparator);

  for (;;) {
    const int need = prebuffering ? kTransmitPrebufferBuffers : 1;
    const CaptureStatus s = WaitForCapture(
        [&](const CaptureStatus& st) {
          return st.state == TX_STOP || (st.state == TX_CAPTURING && st.Waiting() >= need);
        },
        kWakeAtLeastEvery);
    if (s.state == TX_STOP) break;
    if (s.state != TX_CAPTURING || s.Waiting() < need) continue;
    prebuffering = false;

    if (!CopyCaptureSlot(read_slot, reinterpret_cast<uint8_t*>(work.captured))) {
      LogFailure("transmit: the capture ring is gone; ending the request");
      break;
    }
    FitSampleCount(work.fitted, work.captured, kTransmitPartSamples, kCaptureBufferSamples);
    g726_encode_block(work.codes, work.fitted, kTransmitPartSamples, encoder);
    WritePiece(sink, kTransmitPartHeader);
    sink.Write(work.codes, kTransmitPartCodes);
    WritePiece(sink, kTransmitSeparator);
    CountConsumedBuffer();
    read_slot = (read_slot + 1) % kCaptureSlots;
  }
  sink.End();
  return sent;
}

}  // namespace vantorel
