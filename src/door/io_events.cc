#include "door/io_events.h"

#include <cctype>
#include <optional>

namespace vantorel {

namespace {

constexpr MultipartLimits kMonitorLimits{.max_header_bytes = 4096, .max_part_bytes = 4096};

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ';'; }

// Up to four digits at the front of `text`, taken off; nullopt when there are none or more.
std::optional<int> TakePort(std::string_view& text) {
  size_t n = 0;
  int port = 0;
  while (n < text.size() && std::isdigit(static_cast<unsigned char>(text[n]))) {
    if (++n > 4) return std::nullopt;
    port = port * 10 + (text[n - 1] - '0');
  }
  if (n == 0) return std::nullopt;
  text.remove_prefix(n);
  return port;
}

std::optional<IoLevel> Level(char c) {
  switch (c) {
    case '/':
      return IoLevel::kRising;
    case '\\':
      return IoLevel::kFalling;
    case 'H':
      return IoLevel::kHigh;
    case 'L':
      return IoLevel::kLow;
    default:
      return std::nullopt;
  }
}

// "1I:/", "2O:L" or "IO1:\"; nullopt for anything else.
std::optional<IoEvent> ParseToken(std::string_view token) {
  IoEvent event;
  if (token.substr(0, 2) == "IO") {
    token.remove_prefix(2);
    const auto port = TakePort(token);
    if (!port) return std::nullopt;
    event.port = *port;
    event.kind = IoPortKind::kInput;
  } else {
    const auto port = TakePort(token);
    if (!port || token.empty() || (token.front() != 'I' && token.front() != 'O')) return std::nullopt;
    event.port = *port;
    event.kind = token.front() == 'I' ? IoPortKind::kInput : IoPortKind::kOutput;
    token.remove_prefix(1);
  }
  if (token.size() != 2 || token[0] != ':') return std::nullopt;
  const auto level = Level(token[1]);
  if (!level) return std::nullopt;
  event.level = *level;
  return event;
}

}  // namespace

std::vector<IoEvent> ParseIoEvents(std::string_view text) {
  std::vector<IoEvent> events;
  while (!text.empty()) {
    size_t end = 0;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    if (end > 0) {
      if (const auto event = ParseToken(text.substr(0, end))) events.push_back(*event);
    }
    text.remove_prefix(end < text.size() ? end + 1 : end);
  }
  return events;
}

bool CallButton::Pressed(const IoEvent& event) {
  if (event.kind != IoPortKind::kInput || event.port != port_) return false;
  const bool was_inactive = active_ == false;
  switch (event.level) {
    case IoLevel::kRising:
      active_ = true;
      return true;
    case IoLevel::kHigh:
      active_ = true;
      return was_inactive;
    case IoLevel::kFalling:
    case IoLevel::kLow:
      active_ = false;
      return false;
  }
  return false;
}

IoMonitorReader::IoMonitorReader(std::string_view content_type)
    : reader_(BoundaryFromContentType(content_type), kMonitorLimits) {}

void IoMonitorReader::Feed(std::span<const uint8_t> piece, bool quiet, const EventCallback& on_event) {
  const auto on_part = [&](const MultipartPart& part) {
    ++parts_;
    const std::string_view text(reinterpret_cast<const char*>(part.body.data()), part.body.size());
    for (const IoEvent& event : ParseIoEvents(text)) on_event(event);
  };
  reader_.Feed(piece, on_part);
  if (quiet) reader_.FlushPart(on_part);
}

}  // namespace vantorel
