#pragma once
// The simulated camera's input and output ports: a call button on one input, pressed on a
// schedule, and outputs that can be pulsed (io_endpoint.cc).

#include <chrono>
#include <optional>
#include <string_view>
#include <vector>

namespace vantorel::camsim {

// How long each scheduled press holds the button down.
inline constexpr std::chrono::milliseconds kPressLength{1000};

struct IoOptions {
  std::vector<std::chrono::milliseconds> ring_at;  // presses, after the server was made
  std::chrono::milliseconds ring_every{0};         // and one every this long from then on; 0: none
  int button_port = 1;                             // the input the button is on
  std::chrono::milliseconds heartbeat{15000};      // an empty part after this long without a change
  std::chrono::milliseconds monitor_drop{0};       // each monitor stream closed after this long; 0: never
  bool no_port_cgi = false;                        // an older camera: port.cgi is not there (404)
  bool print = false;                              // "relay: port N pulse M ms" on stdout per pulse
};

struct IoStats {
  int monitor_streams = 0;  // monitor requests answered with a stream
  int pulses = 0;
  int last_pulse_port = 0;
  int last_pulse_ms = 0;
  // When each press was due, as sent on a monitor stream (the first stream to send it).
  std::vector<std::chrono::steady_clock::time_point> presses;
};

// "2,6,10.5": seconds, each 0 to 86400; nullopt for anything else.
std::optional<std::vector<std::chrono::milliseconds>> ParseSecondsList(std::string_view text);

}  // namespace vantorel::camsim
