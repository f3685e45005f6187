#include "audio_tx/transmit_body.h"

#include <array>
#include <chrono>
#include <algorithm>
#include <cstring>
#include <span>

#include "audio_tx/capture_ring.h"
#include "codec/fit_sample_count.h"
#include "codec/g711.h"
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

// One request's coding: the opening, and each buffer as one part in the talk's format.
class PartCoder {
 public:
  explicit PartCoder(TalkFormat format) : format_(format) {
    // The design's codes go between the part's fixed header and separator.
    Put(part_, 0, kTransmitPartHeader);
    Put(part_, kTransmitPartHeader.size() + kTransmitPartCodes, kTransmitSeparator);
    Put(opening_, Put(opening_, Put(opening_, 0, kTransmitStatusLine), kTransmitContentType), kTransmitSeparator);
    Restart();
  }

  // A new request: the camera's decoder starts afresh, so does ours.
  void Restart() { G726InitState(encoder_); }

  std::span<const uint8_t> Opening() const {
    if (format_ != TalkFormat::kDesignMultipart) return {};
    return {opening_.data(), opening_.size()};
  }

  std::span<const uint8_t> Part(const CaptureBuffer& captured) {
    switch (format_) {
      case TalkFormat::kDesignMultipart:
        FitSampleCount(fitted_, captured.data(), kTransmitPartSamples, kCaptureBufferSamples);
        G726EncodeBlock(part_.data() + kTransmitPartHeader.size(), fitted_, kTransmitPartSamples, encoder_);
        return {part_.data(), kTransmitPartBytes};
      case TalkFormat::kMuLaw:
        MuLawEncodeBlock(part_.data(), captured.data(), captured.size());
        return {part_.data(), captured.size()};
      case TalkFormat::kG726:
        return {part_.data(), G726EncodeBlock(part_.data(), captured.data(), captured.size(), encoder_,
                                              G726Packing::kEarlierHigh)};
    }
    return {};
  }

 private:
  const TalkFormat format_;
  G726State encoder_;
  int16_t fitted_[kTransmitPartSamples];
  std::array<uint8_t, std::max<size_t>(kTransmitPartBytes, kCaptureBufferSamples)> part_;
  std::array<uint8_t, kOpeningBytes> opening_;
};

bool WriteSpan(TransmitSink& sink, std::span<const uint8_t> bytes) {
  return bytes.empty() || sink.Write(bytes.data(), bytes.size());
}

}  // namespace

const char* TalkContentType(TalkFormat format) {
  switch (format) {
    case TalkFormat::kMuLaw:
      return "audio/basic";
    case TalkFormat::kG726:
      return "audio/G726-32";
    case TalkFormat::kDesignMultipart:
      break;
  }
  return "";
}

bool SendTransmitBody(CaptureRing& ring, TransmitSink& sink, TransmitBodyOptions options) {
  PartCoder coder(options.format);
  // Today's cameras end a session that brings no data for a second: silence fills the gaps.
  const bool fill_silence = options.format != TalkFormat::kDesignMultipart;
  const CaptureBuffer silence{};
  CaptureBuffer captured;
  bool prebuffering = true;

  const bool sent = sink.Send();
  if (sent && options.discard_waiting_when_sent) ring.DiscardWaiting();
  // The write slot is the produced count modulo 64, so the next unread buffer is here.
  int read_slot = ring.Status().consumed % kCaptureSlots;
  bool ok = WriteSpan(sink, coder.Opening()) && sent;
  auto wrote_at = std::chrono::steady_clock::now();

  while (ok || !options.end_on_failure) {
    const int need = prebuffering ? kTransmitPrebufferBuffers : 1;
    const auto wait = fill_silence ? std::max(std::chrono::milliseconds(1),
                                              std::chrono::ceil<std::chrono::milliseconds>(
                                                  wrote_at + kTransmitSilenceAfter - std::chrono::steady_clock::now()))
                                   : std::chrono::milliseconds(kWakeAtLeastEvery);
    const CaptureStatus s = ring.WaitFor(
        [&](const CaptureStatus& st) {
          return st.state == TransmitState::kStop || (st.state == TransmitState::kCapturing && st.Waiting() >= need);
        },
        wait);
    if (s.state == TransmitState::kStop) break;
    const bool ready = s.state == TransmitState::kCapturing && s.Waiting() >= need;
    const bool gap = fill_silence && std::chrono::steady_clock::now() - wrote_at >= kTransmitSilenceAfter;
    if (!ready && !gap) continue;
    if (ready) {
      prebuffering = false;
      ring.CopySlot(read_slot, captured);
    }
    std::span<const uint8_t> part = coder.Part(ready ? captured : silence);
    if (sink.Room() < static_cast<int64_t>(part.size())) {
      // The request's announced length is used up: the talk goes on in the next one.
      if (!sink.Renew()) {
        ok = false;
      } else {
        coder.Restart();
        ok = WriteSpan(sink, coder.Opening());
        part = coder.Part(ready ? captured : silence);
      }
    }
    const bool taken = WriteSpan(sink, part);
    if (taken) sink.PartTaken();
    ok = taken && ok;
    wrote_at = std::chrono::steady_clock::now();
    if (ready) {
      ring.CountConsumed();
      read_slot = (read_slot + 1) % kCaptureSlots;
    }
  }
  sink.End();
  return sent;
}

}  // namespace vantorel
