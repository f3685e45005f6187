#pragma once
// Reads an endless multipart answer (multipart/x-mixed-replace and the like) part by part:
// the camera's sound, its picture stream, its input ports. The reader does no I/O: it is
// fed the body in whatever pieces the network delivers and hands on each whole part.
//
// It reads what cameras really send, not only what the RFC allows:
// - the boundary from the answer's Content-Type, quoted or not, with or without a leading
//   "--" (BoundaryFromContentType); a body whose first line is a header, not a boundary,
//   begins with a part all the same;
// - a delimiter line "--boundary" anywhere, with or without the CRLF before it; anything
//   between a part's end and the next delimiter (junk, a stray CRLF) is skipped;
// - part headers in any order and case; Content-Length honoured when present, else the
//   part ends at the next delimiter, unless the caller gives the part's type a fixed length
//   (the design's sound parts: 200 bytes after the headers);
// - bounded: a part's headers and body each have a limit; a part over a limit is dropped
//   whole (counted, then the reader looks for the next delimiter), so memory never grows
//   with what a camera sends.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantorel {

// The boundary named in a Content-Type header value ("multipart/x-mixed-replace;
// boundary=myboundary", quoted or not, a leading "--" dropped); empty when there is none.
std::string BoundaryFromContentType(std::string_view content_type);

// Whether a Content-Type header value names a multipart body.
bool IsMultipartType(std::string_view content_type);

struct MultipartLimits {
  size_t max_header_bytes = 8 * 1024;        // one part's header lines together
  size_t max_part_bytes = size_t{1} << 20;   // one part's body
};

// One part: its headers' values (the type lower-cased, without parameters) and its body.
struct MultipartPart {
  std::string_view content_type;
  std::optional<uint64_t> content_length;  // as announced, when it was
  std::span<const uint8_t> body;           // valid only during the callback
};

class MultipartReader {
 public:
  using PartCallback = std::function<void(const MultipartPart& part)>;
  // For a part without Content-Length: the body's fixed length for its type, if it has one.
  using FixedLength = std::function<std::optional<size_t>(std::string_view content_type)>;

  // `boundary` as BoundaryFromContentType gives it; empty: learnt from the first delimiter
  // line of the body ("--" and at least one character).
  explicit MultipartReader(std::string boundary, MultipartLimits limits = {}, FixedLength fixed_length = {});

  // Scans the next piece of the body and calls `on_part` for each part completed in it.
  void Feed(std::span<const uint8_t> piece, const PartCallback& on_part);

  // Ends a part whose length was not announced at what has come of it, as if its delimiter
  // had come now, and hands it to `on_part`; does nothing in any other state, nor unless
  // the body so far ends at a line end (a delimiter may be arriving, or the body may not
  // have begun to arrive). For a camera
  // that sends each delimiter only before the next part and then goes quiet (the call
  // button's parts): the part is taken when the stream pauses, not one part later. The
  // delimiter that follows later is skipped like any between parts.
  void FlushPart(const PartCallback& on_part);

  // Parts dropped because their headers or body went over a limit.
  uint64_t dropped_parts() const { return dropped_; }
  // Whether a part has begun and not yet ended (for diagnostics at the end of a stream).
  bool InPart() const { return state_ == State::kHeaders || state_ == State::kBody; }
  const std::string& boundary() const { return boundary_; }

 private:
  enum class State { kStart, kSeek, kHeaders, kBody };

  // Each returns how many bytes of `in` it used; 0 when it needs more input.
  size_t Start(std::span<const uint8_t> in);
  size_t Seek(std::span<const uint8_t> in);
  size_t Headers(std::span<const uint8_t> in);
  size_t Body(std::span<const uint8_t> in, const PartCallback& on_part);
  void HeaderLine(std::string_view line);
  void ResetPart();
  void BeginBody();
  void EndPart(const PartCallback& on_part);
  void Drop();
  // Where "--boundary" begins in `text` (npos when not there), the whole of it.
  size_t FindDelimiter(std::string_view text) const;
  // Bytes the line being collected may still take before it is over the headers' bound.
  size_t LineRoom() const;

  std::string boundary_;
  std::string delimiter_;  // "--" + boundary
  const MultipartLimits limits_;
  const FixedLength fixed_length_;
  State state_ = State::kStart;
  std::string line_;       // the header line being read, or held bytes while seeking
  bool skip_line_ = false; // the rest of a delimiter line is still to come
  size_t header_bytes_ = 0;
  std::string type_;
  std::optional<uint64_t> length_;
  uint64_t body_left_ = 0;      // with a known length: body bytes still to come
  bool length_known_ = false;
  std::vector<uint8_t> body_;   // the body collected so far
  uint64_t dropped_ = 0;
};

}  // namespace vantorel
