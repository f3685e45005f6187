#include "audio_rx/sound_stream.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "codec/g711.h"
#include "runtime/ascii.h"

namespace vantorel {

namespace {

// A part's headers and body: the design's parts are 200 bytes, today's 256 or 512; far
// more is no sound part of a camera's.
constexpr MultipartLimits kSoundPartLimits{.max_header_bytes = 4096, .max_part_bytes = 64 * 1024};

std::string TypeOnly(std::string_view content_type) {
  std::string type(content_type.substr(0, std::min(content_type.find(';'), content_type.size())));
  while (!type.empty() && std::isspace(static_cast<unsigned char>(type.back()))) type.pop_back();
  const size_t start = type.find_first_not_of(" \t");
  return start == std::string::npos ? std::string() : AsciiLower(type.substr(start));
}

}  // namespace

SoundCodec CodecForType(std::string_view content_type) {
  if (content_type == "audio/32kadpcm") return SoundCodec::kG726EarlierLow;
  if (content_type == "audio/g726-32") return SoundCodec::kG726EarlierHigh;
  if (content_type == "audio/basic" || content_type == "audio/pcmu") return SoundCodec::kMuLaw;
  return SoundCodec::kNone;
}

SoundStream::SoundStream(std::string_view content_type) {
  G726InitState(g726_);
  if (IsMultipartType(content_type)) {
    // The design's parts carry no length: their 200 bytes follow the headers.
    reader_.emplace(BoundaryFromContentType(content_type), kSoundPartLimits, [](std::string_view type) {
      return type == "audio/32kadpcm" ? std::optional<size_t>(kFrameBytes) : std::nullopt;
    });
    return;
  }
  const std::string type = TypeOnly(content_type);
  single_ = CodecForType(type);
  part_type_ = type;
  if (single_ == SoundCodec::kNone) foreign_ = type.empty() ? "no content type" : type;
}

void SoundStream::Feed(std::span<const uint8_t> bytes, const FrameOut& out, const Admit& admit) {
  if (!reader_) {
    part_bytes_ += bytes.size();
    if (single_ != SoundCodec::kNone) Decode(single_, bytes, out, admit);
    return;
  }
  reader_->Feed(bytes, [&](const MultipartPart& part) {
    part_type_ = part.content_type;
    part_bytes_ = part.body.size();
    const SoundCodec codec = CodecForType(part.content_type);
    if (codec == SoundCodec::kNone) {
      foreign_ = part.content_type.empty() ? "parts without a content type" : std::string(part.content_type);
      return;
    }
    Decode(codec, part.body, out, admit);
  });
}

void SoundStream::Decode(SoundCodec codec, std::span<const uint8_t> bytes, const FrameOut& out, const Admit& admit) {
  if (codec != current_) {
    // Another coder's stream: its state begins afresh.
    G726InitState(g726_);
    current_ = codec;
  }
  const size_t per_byte = codec == SoundCodec::kMuLaw ? 1 : 2;
  if (admit && !admit(bytes.size() * per_byte)) return;
  std::array<int16_t, 512> decoded;
  while (!bytes.empty()) {
    const size_t n = std::min(bytes.size(), decoded.size() / per_byte);
    switch (codec) {
      case SoundCodec::kMuLaw:
        MuLawDecodeBlock(decoded.data(), bytes.data(), n);
        break;
      case SoundCodec::kG726EarlierLow:
      case SoundCodec::kG726EarlierHigh:
        G726DecodeBlock(decoded.data(), bytes.data(), n, g726_,
                        codec == SoundCodec::kG726EarlierLow ? G726Packing::kEarlierLow : G726Packing::kEarlierHigh);
        break;
      case SoundCodec::kNone:
        return;
    }
    bytes = bytes.subspan(n);
    std::span<const int16_t> samples(decoded.data(), n * per_byte);
    while (!samples.empty()) {
      const size_t take = std::min(samples.size(), frame_.size() - filled_);
      std::copy_n(samples.begin(), take, frame_.begin() + static_cast<std::ptrdiff_t>(filled_));
      filled_ += take;
      samples = samples.subspan(take);
      if (filled_ == frame_.size()) {
        out(frame_);
        filled_ = 0;
      }
    }
  }
}

}  // namespace vantorel
