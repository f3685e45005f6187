// The call button's monitor stream on anything a camera may send: the first bytes of the
// input choose the content type and the pieces (and after which the stream pauses), the rest
// is the body. Every event must be a token that is in the body as sent, with a port of at
// most four digits.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "door/io_events.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantorel;
  if (size < 3) return 0;
  const std::string content_type =
      data[0] & 1 ? "multipart/x-mixed-replace; boundary=ioboundary" : "multipart/x-mixed-replace";
  const size_t piece = 1 + data[1] % 61;
  const uint8_t pauses = data[2];
  const std::span<const uint8_t> body(data + 3, size - 3);
  const std::string_view text(reinterpret_cast<const char*>(body.data()), body.size());
  IoMonitorReader reader(content_type);
  int n = 0;
  for (size_t at = 0; at < body.size(); at += piece, ++n) {
    reader.Feed(body.subspan(at, std::min(piece, body.size() - at)), (pauses >> (n % 8)) & 1, [&](const IoEvent& e) {
      if (e.port < 0 || e.port > 9999) std::abort();
      const char levels[] = {'/', '\\', 'H', 'L'};
      const int level = static_cast<int>(e.level);
      if (level < 0 || level > 3) std::abort();
      const std::string tail = std::string(":") + levels[level];
      const std::string port = std::to_string(e.port);
      const std::string token = e.kind == IoPortKind::kInput ? port + "I" + tail : port + "O" + tail;
      // The older cameras' "IO01:/" holds "1:/" (leading zeros are read away).
      const std::string older = port + tail;
      const bool found = text.find(token) != std::string_view::npos ||
                         (e.kind == IoPortKind::kInput && text.find(older) != std::string_view::npos);
      if (!found) std::abort();
    });
  }
  return 0;
}
