#pragma once
// The simulated camera's reader of a talk body, fed as the bytes arrive, in pieces of any
// size. The layout it expects (and checks):
//
//   "HTTP/1.0 200 OK" CRLF
//   header lines, among them "Content-Type: multipart/x-mixed-replace;boundary=B" CRLF
//   CRLF
//   "--B" CRLF
//   then per part:  part header lines, among them "Content-Type: audio/32KADPCM" CRLF
//                   CRLF
//                   200 bytes of G.726 codes
//                   CRLF "--B" CRLF        (or CRLF "--B--": the end of the body)
//
// Anything else counts as a layout error (the first is described); the reader then skips
// to the next line "--B" and takes the part after it, as a camera would. A part cut short
// is only noticed after its 200 bytes, so it still counts as a part. Lines are
// limited to 1000 bytes and the boundary to 70 characters, so no input grows memory.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vantorel::camsim {

inline constexpr size_t kTalkPartCodes = 200;

class TalkBodyParser {
 public:
  // Called with the 200 code bytes of every well-formed part, in order.
  using PartHandler = std::function<void(const uint8_t* codes, size_t size)>;

  explicit TalkBodyParser(PartHandler on_part = nullptr) : on_part_(std::move(on_part)) {}

  // The next bytes of the body.
  void Feed(const uint8_t* data, size_t size);

  uint64_t bytes() const { return bytes_; }
  int parts() const { return parts_; }
  int layout_errors() const { return errors_; }
  // What the first layout error was, and at which byte of the body; empty without one.
  const std::string& first_error() const { return first_error_; }
  // The boundary in use ("myboundary" until the body names one).
  const std::string& boundary() const { return boundary_; }
  // The body ended with a closing boundary.
  bool closed() const { return state_ == State::kClosed; }

 private:
  enum class State {
    kStatusLine,
    kHeaders,
    kFirstBoundary,
    kPartHeaders,
    kPartData,
    kPartEnd,        // the CRLF after a part's codes
    kPartBoundary,   // the boundary line after it
    kResync,
    kClosed,
  };

  void Step(uint8_t byte);
  void Line(const std::string& line);
  void Error(const std::string& what);
  void Resync();
  void TakeHeader(const std::string& line, bool top_level);

  PartHandler on_part_;
  State state_ = State::kStatusLine;
  std::string line_;
  std::string window_;  // the last bytes, while looking for a boundary after an error
  std::string codes_;
  std::string boundary_ = "myboundary";
  bool content_type_seen_ = false;  // the body's own Content-Type header
  std::string part_type_;           // the current part's Content-Type
  uint64_t bytes_ = 0;
  int parts_ = 0;
  int errors_ = 0;
  std::string first_error_;
};

}  // namespace vantorel::camsim
