// Scans the input as a receive stream: once whole, once in pieces whose sizes the input's
// first bytes choose, once byte by byte. Every way must report exactly the frames that the
// plain whole-stream search finds.

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "frame_oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Up to 8 leading bytes are piece sizes (0 to 255), used in turn; the rest is the stream.
  const size_t cuts = size > 0 ? std::min<size_t>(data[0] % 9, size - 1) : 0;
  std::vector<size_t> pattern(data + (size > 0 ? 1 : 0), data + (size > 0 ? 1 + cuts : 0));
  const size_t skip = size > 0 ? 1 + cuts : 0;
  const std::string_view stream(reinterpret_cast<const char*>(data) + skip, size - skip);

  const auto expected = vantorel::OracleFrames(stream);
  if (vantorel::ScanInPieces(stream, {}) != expected) std::abort();
  if (!pattern.empty()) {
    std::vector<size_t> sizes;
    for (size_t total = 0, i = 0; total < stream.size(); total += sizes.back(), ++i) {
      sizes.push_back(pattern[i % pattern.size()]);
      if (sizes.size() > stream.size() + pattern.size()) break;  // a pattern of zeros
    }
    if (vantorel::ScanInPieces(stream, sizes) != expected) std::abort();
  }
  if (vantorel::ScanInPieces(stream, std::vector<size_t>(stream.size(), 1)) != expected) std::abort();
  return 0;
}
