#include "camsim/talk_body.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace vantorel::camsim {

namespace {

constexpr size_t kMaxLine = 1000;
constexpr size_t kMaxBoundary = 70;  // the longest boundary multipart allows
constexpr std::string_view kStatusLine = "HTTP/1.0 200 OK";
constexpr std::string_view kMultipartType = "multipart/x-mixed-replace";
constexpr std::string_view kAudioType = "audio/32KADPCM";

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

void TalkBodyParser::Feed(const uint8_t* data, size_t size) {
  size_t i = 0;
  while (i < size) {
    if (state_ == State::kPartData) {
      // The codes are binary: take them in one go rather than byte by byte.
      const size_t n = std::min(size - i, kTalkPartCodes - codes_.size());
      codes_.append(reinterpret_cast<const char*>(data + i), n);
      bytes_ += n;
      i += n;
      if (codes_.size() == kTalkPartCodes) {
        ++parts_;
        if (on_part_) on_part_(reinterpret_cast<const uint8_t*>(codes_.data()), codes_.size());
        codes_.clear();
        state_ = State::kPartEnd;
      }
      continue;
    }
    ++bytes_;
    Step(data[i++]);
  }
}

void TalkBodyParser::Step(uint8_t byte) {
  switch (state_) {
    case State::kClosed:
      return;  // an epilogue after the closing boundary is ignored
    case State::kResync: {
      window_.push_back(static_cast<char>(byte));
      const std::string want = "\n--" + boundary_ + "\r\n";
      if (window_.size() > want.size()) window_.erase(0, window_.size() - want.size());
      if (window_ == want) {
        window_.clear();
        part_type_.clear();
        state_ = State::kPartHeaders;
      }
      return;
    }
    default:
      break;
  }
  line_.push_back(static_cast<char>(byte));
  if (byte == '\n') {
    if (line_.size() < 2 || line_[line_.size() - 2] != '\r') {
      Error("a line ends without CR");
      Resync();
      return;
    }
    line_.resize(line_.size() - 2);
    const std::string line = std::move(line_);
    line_.clear();
    Line(line);
  } else if (line_.size() > kMaxLine) {
    Error("a line longer than 1000 bytes");
    Resync();
  }
}

void TalkBodyParser::Line(const std::string& line) {
  const std::string delimiter = "--" + boundary_;
  switch (state_) {
    case State::kStatusLine:
      if (line != kStatusLine) Error("the status line is \"" + line + "\"");
      state_ = State::kHeaders;
      return;
    case State::kHeaders:
      if (!line.empty()) {
        TakeHeader(line, true);
        return;
      }
      if (!content_type_seen_) Error("the body names no Content-Type");
      state_ = State::kFirstBoundary;
      return;
    case State::kFirstBoundary:
      if (line == delimiter) {
        part_type_.clear();
        state_ = State::kPartHeaders;
      } else {
        Error("the body does not open with \"" + delimiter + "\"");
        Resync();
      }
      return;
    case State::kPartHeaders:
      if (!line.empty()) {
        TakeHeader(line, false);
        return;
      }
      if (SameLetters(part_type_, kAudioType)) {
        codes_.clear();
        state_ = State::kPartData;
      } else {
        Error(part_type_.empty() ? "a part without a Content-Type" : "a part of type \"" + part_type_ + "\"");
        Resync();
      }
      return;
    case State::kPartEnd:
      if (line.empty()) {
        state_ = State::kPartBoundary;
      } else {
        Error("a part runs on past 200 bytes");
        Resync();
      }
      return;
    case State::kPartBoundary:
      if (line == delimiter) {
        part_type_.clear();
        state_ = State::kPartHeaders;
      } else if (line == delimiter + "--") {
        state_ = State::kClosed;
      } else {
        Error("a part is not followed by \"" + delimiter + "\"");
        Resync();
      }
      return;
    default:
      return;
  }
}

void TalkBodyParser::TakeHeader(const std::string& line, bool top_level) {
  const size_t colon = line.find(':');
  if (colon == std::string::npos) {
    Error("a header line without a colon");
    return;
  }
  if (!SameLetters(Trim(std::string_view(line).substr(0, colon)), "Content-Type")) return;
  std::string_view value = Trim(std::string_view(line).substr(colon + 1));
  if (!top_level) {
    part_type_ = std::string(value);
    return;
  }
  content_type_seen_ = true;
  const size_t semicolon = value.find(';');
  if (!SameLetters(Trim(value.substr(0, semicolon)), kMultipartType)) {
    Error("the body's type is \"" + std::string(value) + "\"");
  }
  // Parameters: ";name=value", the value perhaps in double quotes.
  std::string boundary;
  for (size_t at = semicolon; at != std::string_view::npos;) {
    value.remove_prefix(at + 1);
    at = value.find(';');
    const std::string_view param = Trim(value.substr(0, at));
    const size_t equals = param.find('=');
    if (equals == std::string_view::npos || !SameLetters(Trim(param.substr(0, equals)), "boundary")) continue;
    std::string_view b = Trim(param.substr(equals + 1));
    if (b.size() >= 2 && b.front() == '"' && b.back() == '"') b = b.substr(1, b.size() - 2);
    boundary = std::string(b);
  }
  if (boundary.empty() || boundary.size() > kMaxBoundary) {
    Error("the body's type has no usable boundary");
  } else {
    boundary_ = boundary;
  }
}

void TalkBodyParser::Error(const std::string& what) {
  ++errors_;
  if (first_error_.empty()) first_error_ = what + " (at byte " + std::to_string(bytes_) + ")";
}

void TalkBodyParser::Resync() {
  // An error found at the end of a line may be followed at once by the boundary line: the
  // line feed just read then counts as the start of the boundary's lead-in.
  window_ = !line_.empty() && line_.back() != '\n' ? "" : "\n";
  state_ = State::kResync;
  line_.clear();
}

}  // namespace vantorel::camsim
