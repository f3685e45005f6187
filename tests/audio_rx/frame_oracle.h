#pragma once
// The frames of a whole stream held in memory, found the plain way: look for the marker,
// take the 200 bytes after it, go on after them. The scanner must find the same frames
// however the stream is cut into pieces.

#include <string>
#include <string_view>
#include <vector>

#include "audio_rx/frame_scanner.h"

namespace vantorel {

inline std::vector<std::string> OracleFrames(std::string_view stream) {
  std::vector<std::string> frames;
  size_t at = 0;
  for (;;) {
    const size_t marker = stream.find(kFrameMarker, at);
    if (marker == std::string_view::npos) break;
    const size_t begin = marker + kFrameMarker.size();
    if (stream.size() - begin < static_cast<size_t>(kFrameBytes)) break;
    frames.emplace_back(stream.substr(begin, kFrameBytes));
    at = begin + kFrameBytes;
  }
  return frames;
}

// Feeds `stream` to a fresh scanner in pieces of the given sizes (the rest as one last
// piece) and returns the frames it reports.
inline std::vector<std::string> ScanInPieces(std::string_view stream, const std::vector<size_t>& sizes) {
  FrameScanner scanner;
  std::vector<std::string> frames;
  const FrameScanner::FrameCallback keep = [&](const uint8_t* frame) {
    frames.emplace_back(reinterpret_cast<const char*>(frame), kFrameBytes);
  };
  size_t at = 0;
  auto feed = [&](size_t n) {
    scanner.Feed({reinterpret_cast<const uint8_t*>(stream.data()) + at, n}, keep);
    at += n;
  };
  for (size_t n : sizes) {
    if (at >= stream.size()) break;
    feed(std::min(n, stream.size() - at));
  }
  if (at < stream.size()) feed(stream.size() - at);
  return frames;
}

}  // namespace vantorel
