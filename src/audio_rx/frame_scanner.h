#pragma once
// Finds the sound frames in the camera's audio stream. The stream is a multipart body whose
// parts end their headers with "Content-Type: audio/32KADPCM" and a blank line; the 200
// bytes after that blank line are one frame of G.726 codes. Everything else (boundary
// lines, other headers, whatever a camera puts between parts) is skipped.
//
// The scanner does no I/O: it is fed the stream in whatever pieces the network delivers,
// of any size, and reports every frame in stream order. A marker split across pieces is
// found; a frame split across pieces is completed from the following pieces. Searching
// resumes after a frame's last byte, so a marker inside the audio never counts. Zero bytes
// are ordinary bytes here, inside the audio and between parts alike.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "audio_rx/playback.h"

namespace vantorel {

// The end of an audio part's headers; the frame follows directly.
inline constexpr std::string_view kFrameMarker = "audio/32KADPCM\r\n\r\n";

class FrameScanner {
 public:
  // Called with kFrameBytes bytes, valid only during the call.
  using FrameCallback = std::function<void(const uint8_t* frame)>;

  // Scans the next piece of the stream and calls `on_frame` for each frame completed in
  // it. Returns the number of frames completed.
  size_t Feed(std::span<const uint8_t> piece, const FrameCallback& on_frame);

  // Whether a frame has begun and still misses bytes (for diagnostics at the end of a
  // stream: such a frame is never reported).
  bool InFrame() const { return filled_ >= 0; }

 private:
  size_t matched_ = 0;  // bytes of kFrameMarker matched so far while searching
  int filled_ = -1;     // bytes of the current frame collected; -1 while searching
  std::array<uint8_t, kFrameBytes> frame_{};
};

}  // namespace vantorel
