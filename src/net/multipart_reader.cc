#include "net/multipart_reader.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "runtime/ascii.h"

namespace vantorel {

namespace {

// Longest boundary we take (RFC 2046 allows 70 characters; a little room beyond).
constexpr size_t kMaxBoundary = 200;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

std::string_view AsText(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

std::string BoundaryFromContentType(std::string_view content_type) {
  const std::string lower = AsciiLower(content_type);
  size_t at = 0;
  // "boundary=" as a parameter name, not inside another one's value.
  for (;;) {
    at = lower.find("boundary", at);
    if (at == std::string::npos) return {};
    const bool starts = at == 0 || lower[at - 1] == ';' || lower[at - 1] == ' ' || lower[at - 1] == '\t';
    size_t eq = at + 8;
    while (eq < lower.size() && (lower[eq] == ' ' || lower[eq] == '\t')) ++eq;
    if (starts && eq < lower.size() && lower[eq] == '=') {
      at = eq + 1;
      break;
    }
    at += 8;
  }
  std::string_view value = Trim(content_type.substr(at));
  if (!value.empty() && value.front() == '"') {
    value.remove_prefix(1);
    value = value.substr(0, value.find('"'));
  } else {
    value = value.substr(0, std::min(value.find(';'), value.size()));
    value = Trim(value);
  }
  if (value.substr(0, 2) == "--") value.remove_prefix(2);
  if (value.size() > kMaxBoundary) return {};
  return std::string(value);
}

bool IsMultipartType(std::string_view content_type) {
  return AsciiLower(Trim(content_type).substr(0, 10)) == "multipart/";
}

MultipartReader::MultipartReader(std::string boundary, MultipartLimits limits, FixedLength fixed_length)
    : boundary_(std::move(boundary)), limits_(limits), fixed_length_(std::move(fixed_length)) {
  if (!boundary_.empty()) delimiter_ = "--" + boundary_;
}

void MultipartReader::Feed(std::span<const uint8_t> piece, const PartCallback& on_part) {
  while (!piece.empty()) {
    size_t used = 0;
    switch (state_) {
      case State::kStart:
        used = Start(piece);
        break;
      case State::kSeek:
        used = Seek(piece);
        break;
      case State::kHeaders:
        used = Headers(piece);
        break;
      case State::kBody:
        used = Body(piece, on_part);
        break;
    }
    piece = piece.subspan(used);
  }
}

size_t MultipartReader::LineRoom() const {
  return limits_.max_header_bytes - std::min(line_.size(), limits_.max_header_bytes);
}

size_t MultipartReader::FindDelimiter(std::string_view text) const {
  if (delimiter_.empty()) return std::string_view::npos;
  return text.find(delimiter_);
}

// The body's first line tells whether it opens with a delimiter or, as some cameras send
// it, with a part's headers.
size_t MultipartReader::Start(std::span<const uint8_t> in) {
  const std::string_view text = AsText(in);
  const size_t end = text.find('\n');
  const size_t take = end == std::string_view::npos ? text.size() : end + 1;
  // A first line over the headers' bound is no start: the search for a delimiter begins
  // right at the bound, wherever the stream was cut.
  const size_t room = LineRoom();
  if (take > room) {
    line_.clear();
    state_ = State::kSeek;
    return room;
  }
  line_.append(text.substr(0, take));
  if (end == std::string_view::npos) return take;
  std::string first = std::move(line_);
  line_.clear();
  const std::string_view line = Trim(std::string_view(first).substr(0, first.size() - 1));
  if (line.empty()) return take;  // blank lines before the first part
  if (line.substr(0, 2) == "--") {
    // A first delimiter other than the one announced is the one the camera uses.
    if (delimiter_.empty() || line.find(delimiter_) == std::string_view::npos) {
      std::string_view learnt = line.substr(2);
      if (!learnt.empty() && learnt.size() <= kMaxBoundary) {
        boundary_ = learnt;
        delimiter_ = "--" + boundary_;
      }
    }
    state_ = State::kHeaders;
    return take;
  }
  if (line.find(':') != std::string_view::npos) {
    // A header line: the part began without its delimiter.
    ResetPart();
    state_ = State::kHeaders;
    HeaderLine(line);
    return take;
  }
  state_ = State::kSeek;
  return take;
}

size_t MultipartReader::Seek(std::span<const uint8_t> in) {
  if (delimiter_.empty()) {
    // No boundary yet: the first line that begins with "--" names it.
    const std::string_view text = AsText(in);
    const size_t end = text.find('\n');
    // A line over the headers' bound is looked at as it stands at the bound; what follows
    // counts as a new line, wherever the stream was cut.
    const size_t room = LineRoom();
    const bool over = (end == std::string_view::npos ? text.size() : end + 1) > room;
    const size_t take = over ? std::max<size_t>(room, line_.empty() ? 1 : 0)  // always onward
                             : end == std::string_view::npos ? text.size() : end + 1;
    line_.append(text.substr(0, take));
    if (end != std::string_view::npos || over) {
      const std::string_view line = Trim(std::string_view(line_).substr(0, line_.find('\n')));
      if (line.substr(0, 2) == "--" && line.size() > 2 && line.size() - 2 <= kMaxBoundary) {
        boundary_ = line.substr(2);
        delimiter_ = "--" + boundary_;
        state_ = State::kHeaders;
      }
      line_.clear();
    }
    return take;
  }
  // What was held (a possible start of the delimiter) and this piece, searched together.
  const size_t held = line_.size();
  std::string window = line_;
  window.append(AsText(in).substr(0, std::min(in.size(), delimiter_.size() + 4096)));
  const size_t at = window.find(delimiter_);
  if (at == std::string::npos) {
    const size_t scanned = window.size() - held;
    const size_t keep = std::min(window.size(), delimiter_.size() - 1);
    line_ = window.substr(window.size() - keep);
    return scanned;
  }
  line_.clear();
  ResetPart();
  state_ = State::kHeaders;
  skip_line_ = true;
  return at + delimiter_.size() - held;
}

size_t MultipartReader::Headers(std::span<const uint8_t> in) {
  const std::string_view text = AsText(in);
  const size_t end = text.find('\n');
  const size_t take = end == std::string_view::npos ? text.size() : end + 1;
  if (skip_line_) {
    // The rest of a delimiter line ("--boundary--", trailing blanks).
    if (end != std::string_view::npos) skip_line_ = false;
    return take;
  }
  if (take > limits_.max_header_bytes - std::min(header_bytes_, limits_.max_header_bytes)) {
    // Headers over their bound: the part is dropped right at the bound, and the search for
    // the next delimiter starts there, so that one in the rest of an over-long line is found
    // however the stream was cut.
    const size_t used = limits_.max_header_bytes - std::min(header_bytes_, limits_.max_header_bytes);
    Drop();
    return used;
  }
  header_bytes_ += take;
  line_.append(text.substr(0, take));
  if (end == std::string_view::npos) return take;
  std::string whole = std::move(line_);
  line_.clear();
  HeaderLine(Trim(std::string_view(whole).substr(0, whole.size() - 1)));
  return take;
}

void MultipartReader::HeaderLine(std::string_view line) {
  if (line.empty()) {
    BeginBody();
    return;
  }
  if (!delimiter_.empty() && line.substr(0, delimiter_.size()) == delimiter_) {
    // A delimiter among the headers: what came before was no part; this one begins now.
    ResetPart();
    return;
  }
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  const std::string name = AsciiLower(Trim(line.substr(0, colon)));
  const std::string_view value = Trim(line.substr(colon + 1));
  if (name == "content-type") {
    type_ = AsciiLower(Trim(value.substr(0, std::min(value.find(';'), value.size()))));
  } else if (name == "content-length") {
    uint64_t n = 0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec == std::errc() && ptr == value.data() + value.size()) {
      length_ = n;
    } else {
      length_.reset();  // unreadable: the part ends at the next delimiter
    }
  }
}

void MultipartReader::ResetPart() {
  header_bytes_ = 0;
  type_.clear();
  length_.reset();
}

void MultipartReader::BeginBody() {
  body_.clear();
  std::optional<uint64_t> length = length_;
  if (!length && fixed_length_) {
    if (const auto fixed = fixed_length_(type_)) length = *fixed;
  }
  if (length && *length > limits_.max_part_bytes) {
    Drop();
    return;
  }
  length_known_ = length.has_value();
  body_left_ = length.value_or(0);
  state_ = State::kBody;
}

size_t MultipartReader::Body(std::span<const uint8_t> in, const PartCallback& on_part) {
  if (length_known_) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(body_left_, in.size()));
    if (body_.empty() && n == body_left_) {
      // The whole body lies in this piece: handed on where it is.
      on_part({type_, length_, in.subspan(0, n)});
      body_left_ = 0;
      EndPart({});
      return n;
    }
    body_.insert(body_.end(), in.begin(), in.begin() + static_cast<std::ptrdiff_t>(n));
    body_left_ -= n;
    if (body_left_ == 0) EndPart(on_part);
    return n;
  }
  // Until the next delimiter, which may begin in what was collected already.
  const size_t carry = std::min(body_.size(), delimiter_.empty() ? size_t{0} : delimiter_.size() - 1);
  std::string window(reinterpret_cast<const char*>(body_.data()) + body_.size() - carry, carry);
  window.append(AsText(in));
  const size_t at = FindDelimiter(window);
  if (at == std::string::npos) {
    // Over the bound even without the line end and a delimiter's start that may close it:
    // dropped, and the search goes on from the bytes that may begin the delimiter.
    if (body_.size() + in.size() > limits_.max_part_bytes + delimiter_.size() + 2) {
      Drop();
      return in.size() - std::min(in.size(), delimiter_.size() - 1);
    }
    body_.insert(body_.end(), in.begin(), in.end());
    return in.size();
  }
  // The body ends where the delimiter begins, less the line end before it.
  if (at >= carry) {
    body_.insert(body_.end(), in.begin(), in.begin() + static_cast<std::ptrdiff_t>(at - carry));
  } else {
    body_.resize(body_.size() - (carry - at));
  }
  if (!body_.empty() && body_.back() == '\n') body_.pop_back();
  if (!body_.empty() && body_.back() == '\r') body_.pop_back();
  if (body_.size() > limits_.max_part_bytes) {
    Drop();
  } else {
    EndPart(on_part);
  }
  // The delimiter's line follows: the next part's headers.
  ResetPart();
  state_ = State::kHeaders;
  skip_line_ = true;
  return at + delimiter_.size() - carry;
}

void MultipartReader::FlushPart(const PartCallback& on_part) {
  // Only a body that has come up to a line end: a delimiter that has begun to arrive is
  // never cut, and a body still on its way after its headers is not taken for an empty one.
  if (state_ != State::kBody || length_known_ || body_.empty() || body_.back() != '\n') return;
  while (!body_.empty() && (body_.back() == '\n' || body_.back() == '\r')) body_.pop_back();
  EndPart(on_part);
}

void MultipartReader::EndPart(const PartCallback& on_part) {
  if (on_part) on_part({type_, length_, body_});
  body_.clear();
  state_ = State::kSeek;
  line_.clear();
}

void MultipartReader::Drop() {
  ++dropped_;
  body_.clear();
  body_.shrink_to_fit();
  line_.clear();
  state_ = State::kSeek;
}

}  // namespace vantorel
