#pragma once
// The frames of a whole design-dialect stream held in memory, found the plain way: look for
// the end of a sound part's headers, take the 200 bytes after it, go on after them. What the
// listen worker reads, part by part and however the stream is cut, must be these frames.

#include <string>
#include <string_view>
#include <vector>

namespace vantorel {

inline std::vector<std::string> OracleFrames(std::string_view stream) {
  constexpr std::string_view kMarker = "audio/32KADPCM\r\n\r\n";
  constexpr size_t kFrame = 200;
  std::vector<std::string> frames;
  size_t at = 0;
  for (;;) {
    const size_t marker = stream.find(kMarker, at);
    if (marker == std::string_view::npos) break;
    const size_t begin = marker + kMarker.size();
    if (stream.size() - begin < kFrame) break;
    frames.emplace_back(stream.substr(begin, kFrame));
    at = begin + kFrame;
  }
  return frames;
}

}  // namespace vantorel
