// The multipart reader on anything a camera may send: the first bytes of the input name
// the boundary and the limits, the rest is the body, fed in pieces whose sizes the input
// chooses too. No part may exceed the limits, and however it is cut a body within the
// limits gives the same parts.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/multipart_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantorel;
  if (size < 4) return 0;
  const std::string content_type = "multipart/x-mixed-replace; boundary=" + std::string(1 + data[0] % 12, 'b');
  const MultipartLimits limits{.max_header_bytes = 64u + data[1] * 4u, .max_part_bytes = 16u + data[2] * 8u};
  const size_t piece = 1 + data[3] % 37;
  const std::span<const uint8_t> body(data + 4, size - 4);
  const auto fixed = [](std::string_view type) {
    return type == "audio/32kadpcm" ? std::optional<size_t>(200) : std::nullopt;
  };
  bool dropped = false;
  const auto read = [&](size_t step) {
    MultipartReader reader(BoundaryFromContentType(content_type), limits, fixed);
    std::vector<std::string> parts;
    for (size_t at = 0; at < body.size(); at += step) {
      reader.Feed(body.subspan(at, std::min(step, body.size() - at)), [&](const MultipartPart& p) {
        if (p.body.size() > limits.max_part_bytes) std::abort();
        parts.emplace_back(std::string(p.content_type) + "|" +
                           std::string(reinterpret_cast<const char*>(p.body.data()), p.body.size()));
      });
    }
    dropped = dropped || reader.dropped_parts() > 0;
    return parts;
  };
  const auto cut = read(piece);
  const auto whole = read(body.size() + 1);
  // Within the bounds the cut changes nothing; past them, where the reader finds its way
  // back may depend on where the bound was crossed.
  if (!dropped && cut != whole) std::abort();
  return 0;
}
