// Reads the input as a talk body twice: whole, and cut into pieces whose sizes come from
// the input's first byte. Both readings must agree on everything, every part must be 200
// bytes, and the parts can never hold more bytes than came in.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "camsim/talk_body.h"

namespace {

struct Reading {
  std::vector<std::string> parts;
  int errors = 0;
  std::string first_error;
  uint64_t bytes = 0;
  std::string boundary;
  bool closed = false;
};

Reading Read(const uint8_t* data, size_t size, uint8_t cut) {
  Reading r;
  vantorel::camsim::TalkBodyParser parser([&](const uint8_t* codes, size_t n) {
    if (n != vantorel::camsim::kTalkPartCodes) std::abort();
    r.parts.emplace_back(reinterpret_cast<const char*>(codes), n);
  });
  if (cut == 0) {
    parser.Feed(data, size);
  } else {
    // Piece sizes 1, 2, ... cut, 1, 2, ...: every split point gets its turn.
    for (size_t at = 0, piece = 1; at < size; piece = piece % cut + 1) {
      const size_t n = std::min(piece, size - at);
      parser.Feed(data + at, n);
      at += n;
    }
  }
  r.errors = parser.layout_errors();
  r.first_error = parser.first_error();
  r.bytes = parser.bytes();
  r.boundary = parser.boundary();
  r.closed = parser.closed();
  if (r.bytes != size) std::abort();
  if (r.parts.size() * vantorel::camsim::kTalkPartCodes > size) std::abort();
  if ((r.errors == 0) != r.first_error.empty()) std::abort();
  if (r.boundary.empty() || r.boundary.size() > 70) std::abort();
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t cut = static_cast<uint8_t>(data[0] % 64 + 1);
  const Reading whole = Read(data + 1, size - 1, 0);
  const Reading pieces = Read(data + 1, size - 1, cut);
  if (whole.parts != pieces.parts || whole.errors != pieces.errors || whole.first_error != pieces.first_error ||
      whole.boundary != pieces.boundary || whole.closed != pieces.closed) {
    std::abort();
  }
  return 0;
}
