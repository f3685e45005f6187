#pragma once
// The newer firmware's dialect (--firmware current) and three behaviours of the web servers
// real cameras run (--challenge-after-body, --body-limit, --length-after-type).
//
// The newer firmware sends the microphone singlepart by default (one "audio/basic" answer of
// raw G.711 mu-law), or as multipart parts of 64 ms ("audio/G726-32" or "audio/basic" with a
// Content-Length each); it takes a talk as one singlepart body of raw mu-law or G.726-32, one
// talker at a time, played in real time and ended after a second without data; and it lists
// its settings on param.cgi. Without --firmware the simulator is the design's camera.

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vantorel::camsim {

class Context;

enum class Firmware { kDesign, kCurrent };
// What the camera's audio may do: both at once, one way at a time (the microphone is silent
// while a talk plays), only send its microphone, only play a talk.
enum class Duplex { kFull, kHalf, kListen, kTalk };

std::optional<Firmware> ParseFirmware(std::string_view name);  // "design", "current"
std::optional<Duplex> ParseDuplex(std::string_view name);      // "full", "half", "listen", "talk"
// The camera's own name for it in root.Audio.DuplexMode: full, half, get, post.
const char* DuplexParameter(Duplex duplex);

// The newer firmware's web server refuses a declared body above 1 GiB.
inline constexpr uint64_t kCurrentBodyLimit = uint64_t{1} << 30;

struct CurrentOptions {
  Firmware firmware = Firmware::kDesign;
  Duplex duplex = Duplex::kFull;
  // The newer firmware ends a talk after this long without data (Audio.ReceiverTimeout).
  std::chrono::milliseconds receiver_timeout{1000};
  // The web server's behaviours, with either firmware:
  bool challenge_after_body = false;   // a refused sign-in is answered once the body has ended
  std::optional<uint64_t> body_limit;  // 413 above it; unset: none (kCurrentBodyLimit with current)
  bool length_after_type = false;      // design parts: "Content-Length: 200" after the type
};

// Answers of the newer firmware and the web server behaviours, counted over the run.
struct CurrentStats {
  int unsupported_type = 0;   // 415: a talk of a type the camera does not play
  int not_allowed = 0;        // 405: the camera cannot do what was asked (--duplex)
  int busy = 0;               // 503: a talk while another one plays
  int too_large = 0;          // 413: a declared body above the limit
  int receiver_timeouts = 0;  // talks ended by the receiver timeout
  int params = 0;             // param.cgi lists answered
};

// The body limit in force: --body-limit, else 1 GiB with the newer firmware, else none.
std::optional<uint64_t> EffectiveBodyLimit(const CurrentOptions& options);

// Reads a request's body to its end (its length, the chunked end, the connection's end or
// the read timeout) and drops it; false when it broke off or the server is stopping.
bool DrainBody(Context& context, const httplib::ContentReader& read);

// Puts the answer in `res` so that the connection really closes once it is sent (httplib
// keeps a connection whatever the answer's Connection header says).
void AnswerAndClose(httplib::Response& res, int status, std::string body, const char* content_type);

// The web server's own checks, before any endpoint: the body limit (413, Connection: close).
void ApplyWebServerBehaviours(httplib::Server& http, Context& context);

// receive.cgi, transmit.cgi and param.cgi of the newer firmware, in place of the design's.
void RegisterCurrentEndpoints(httplib::Server& http, Context& context);

// Shared by the newer firmware's endpoints (firmware_current.cc registers them).
struct CurrentSpeaker {
  std::atomic<bool> playing{false};  // a talk holds the loudspeaker
};
void RegisterCurrentAudioEndpoint(httplib::Server& http, Context& context, std::shared_ptr<CurrentSpeaker> speaker);
void RegisterCurrentTalkEndpoint(httplib::Server& http, Context& context, std::shared_ptr<CurrentSpeaker> speaker);
void RegisterParamEndpoint(httplib::Server& http, Context& context);

}  // namespace vantorel::camsim
