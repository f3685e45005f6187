#pragma once
// What a camera says about its input and output ports on the monitor stream
// (port.cgi?monitor=N; input.cgi?monitor=N on older cameras): an endless multipart answer,
// one text part per change, each holding tokens such as
//   1I:/   input 1 became active        1I:\   input 1 became inactive
//   1I:H   input 1 is active, unchanged 1I:L   input 1 is inactive, unchanged
//   1O:/   the same for output 1        IO1:/  the older cameras' form of "1I:/"
// A part without a token (an empty one every 15 s) is a heartbeat.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "net/multipart_reader.h"

namespace vantorel {

enum class IoPortKind { kInput, kOutput };
enum class IoLevel {
  kRising,   // '/': became active
  kFalling,  // '\': became inactive
  kHigh,     // 'H': active, unchanged
  kLow,      // 'L': inactive, unchanged
};

struct IoEvent {
  int port = 0;  // as the camera numbers it in URLs, from 1
  IoPortKind kind = IoPortKind::kInput;
  IoLevel level = IoLevel::kLow;
  bool operator==(const IoEvent&) const = default;
};

// The tokens in one part's text, in order. Tokens are separated by white space, commas or
// semicolons; anything that is not a token is skipped.
std::vector<IoEvent> ParseIoEvents(std::string_view text);

// The call button on input `port`, followed across the monitor's reconnections: a press is
// its input becoming active ('/'), or being reported active ('H') when it was last known
// inactive: pressed while the stream was away. An input first reported active is no press
// (it may be wired the other way round, or held).
class CallButton {
 public:
  explicit CallButton(int port) : port_(port) {}
  // True when `event` is a press of this button.
  bool Pressed(const IoEvent& event);
  int port() const { return port_; }

 private:
  const int port_;
  std::optional<bool> active_;  // as last reported
};

// The monitor stream as it arrives, piece by piece: framed by the multipart reader (parts
// of at most 4 KiB), each part's tokens handed on as events.
class IoMonitorReader {
 public:
  using EventCallback = std::function<void(const IoEvent&)>;

  // `content_type`: the answer's Content-Type (its boundary; without one, the body's first
  // delimiter line names it).
  explicit IoMonitorReader(std::string_view content_type);

  // The next piece of the body. `quiet`: nothing more had arrived after it, so a part whose
  // delimiter comes only before the next part is taken now rather than up to a heartbeat
  // later.
  void Feed(std::span<const uint8_t> piece, bool quiet, const EventCallback& on_event);

  // Parts read so far, heartbeats included.
  uint64_t parts() const { return parts_; }

 private:
  MultipartReader reader_;
  uint64_t parts_ = 0;
};

}  // namespace vantorel
