#pragma once
// The simulated camera's loudspeaker: how its upload endpoint behaves, and what it heard.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorel::camsim {

// Misbehaviour of POST /axis-cgi/audio/transmit.cgi, chosen per run.
enum class TalkFault {
  kNone,
  kUnauthorized,  // answers 401 at once, without reading the body
  kClose,         // after `fault_after_parts` parts: answers 503 and closes the connection
  kStopReading,   // after `fault_after_parts` parts: reads nothing more until the server stops
};

// "none", "unauthorized", "close", "stop-reading".
std::optional<TalkFault> ParseTalkFault(std::string_view name);
const char* TalkFaultName(TalkFault fault);
std::vector<const char*> TalkFaultNames();

struct TalkOptions {
  std::string out_wav;  // when set, every talk's decoded sound is written here as it ends
  TalkFault fault = TalkFault::kNone;
  int fault_after_parts = 0;
  bool print = false;  // one line on stdout per talk, as it ends (the command-line simulator)
};

struct TalkStats {
  int talks = 0;   // requests to the endpoint
  int active = 0;  // talks whose body is still being read
  // The latest talk:
  std::string user_agent;
  std::string content_type;  // the request's Content-Type
  uint64_t bytes = 0;  // body bytes read
  uint64_t samples = 0;  // samples decoded (played)
  int parts = 0;       // well-formed parts (a singlepart talk: whole 20 ms of sound)
  int layout_errors = 0;
  std::string first_error;
  std::optional<std::chrono::steady_clock::time_point> first_part_at;
  std::chrono::milliseconds first_part_after{-1};  // since the request's head arrived
                                                   // (a singlepart talk: its first sound)
  bool ended = false;  // its body has ended (the client closed, or a fault ended it)
};

}  // namespace vantorel::camsim
