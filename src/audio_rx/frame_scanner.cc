#include "audio_rx/frame_scanner.h"

#include <algorithm>
#include <cstring>

namespace vantorel {

namespace {

constexpr size_t kMarkerLength = kFrameMarker.size();

// The marker's first byte occurs nowhere else in it, so after a mismatch no part of what
// matched can begin another marker: the search starts over, and the mismatching byte
// itself may be the first byte of one.
constexpr bool FirstByteIsUnique() {
  for (size_t i = 1; i < kMarkerLength; ++i) {
    if (kFrameMarker[i] == kFrameMarker[0]) return false;
  }
  return true;
}
static_assert(FirstByteIsUnique());

}  // namespace

size_t FrameScanner::Feed(std::span<const uint8_t> piece, const FrameCallback& on_frame) {
  size_t frames = 0;
  const uint8_t* p = piece.data();
  const uint8_t* const end = p + piece.size();
  while (p < end) {
    if (filled_ >= 0) {
      const size_t take = std::min(static_cast<size_t>(end - p), static_cast<size_t>(kFrameBytes - filled_));
      if (filled_ == 0 && take == kFrameBytes) {
        // The whole frame lies in this piece: hand it on where it is.
        if (on_frame) on_frame(p);
      } else {
        std::memcpy(frame_.data() + filled_, p, take);
        if (filled_ + static_cast<int>(take) == kFrameBytes && on_frame) on_frame(frame_.data());
      }
      filled_ += static_cast<int>(take);
      p += take;
      if (filled_ == kFrameBytes) {
        filled_ = -1;
        ++frames;
      }
      continue;
    }
    if (matched_ == 0) {
      // Nothing matched yet: skip straight to the next possible first byte.
      p = static_cast<const uint8_t*>(std::memchr(p, kFrameMarker[0], static_cast<size_t>(end - p)));
      if (p == nullptr) break;
    }
    const auto byte = static_cast<char>(*p++);
    if (byte != kFrameMarker[matched_]) matched_ = 0;
    if (byte == kFrameMarker[matched_]) ++matched_;
    if (matched_ == kMarkerLength) {
      matched_ = 0;
      filled_ = 0;
    }
  }
  return frames;
}

}  // namespace vantorel
