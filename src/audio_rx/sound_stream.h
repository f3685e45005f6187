#pragma once
// The camera's sound stream, whatever dialect it speaks, turned into frames of 50 ms
// (kFrameSamples), the unit playback takes.
//
// What the answer's Content-Type says decides how the body is read:
// - multipart (the design's "audio/32KADPCM" parts of 200 bytes after their headers, junk
//   between parts skipped; today's cameras' "audio/G726-32" or "audio/basic" parts with a
//   Content-Length): each part whose type is a sound format we play is decoded;
// - "audio/basic" (G.711 mu-law) or "audio/G726-32" alone: the whole body is that sound.
// Anything else (another sound format, an HTML page) gives no frames; what it was is kept
// for the reason.
//
// One decoder state runs across the session's parts, as the camera's coder does. Samples
// are gathered into frames, so the design's 200-byte parts still give exactly one frame
// each, from the first one on.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "audio_rx/playback.h"
#include "codec/g726.h"
#include "net/multipart_reader.h"

namespace vantorel {

enum class SoundCodec { kNone, kG726EarlierLow, kG726EarlierHigh, kMuLaw };

// The codec for a content type (lower case, without parameters); kNone when we play none.
SoundCodec CodecForType(std::string_view content_type);

class SoundStream {
 public:
  using FrameOut = std::function<void(std::span<const int16_t, kFrameSamples> samples)>;
  // Asked before sound is decoded, with the samples it would give; false drops it undecoded
  // (the real-time cap).
  using Admit = std::function<bool(size_t samples)>;

  // `content_type`: the answer's header value, as sent.
  explicit SoundStream(std::string_view content_type);

  void Feed(std::span<const uint8_t> bytes, const FrameOut& out, const Admit& admit = {});

  // What the stream held that is not sound we play: its type ("audio/x-foo", "text/html"),
  // the latest one; empty while everything was sound.
  const std::string& foreign_type() const { return foreign_; }
  // What the stream is, for the probe: "multipart" or "singlepart", and the last part's type
  // and size.
  bool multipart() const { return reader_.has_value(); }
  const std::string& part_type() const { return part_type_; }
  size_t part_bytes() const { return part_bytes_; }

 private:
  void Decode(SoundCodec codec, std::span<const uint8_t> bytes, const FrameOut& out, const Admit& admit);

  std::optional<MultipartReader> reader_;
  SoundCodec single_ = SoundCodec::kNone;  // the body's codec when it is not multipart
  SoundCodec current_ = SoundCodec::kNone;  // what the decoder state belongs to
  G726State g726_{};
  std::array<int16_t, kFrameSamples> frame_{};
  size_t filled_ = 0;  // samples of frame_ gathered
  std::string foreign_;
  std::string part_type_;
  size_t part_bytes_ = 0;
};

}  // namespace vantorel
