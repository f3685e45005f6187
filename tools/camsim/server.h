#pragma once
// vantorel-camsim: a simulated network camera on 127.0.0.1 for the demo and the tests.
// The server owns the listening socket and a background thread; each endpoint lives in its
// own file and is added by a Register...Endpoint function (endpoints.h).

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "camsim/firmware_current.h"
#include "camsim/echo_loop.h"
#include "camsim/io_options.h"
#include "camsim/raw_fault_server.h"
#include "camsim/sign_in.h"
#include "camsim/talk_options.h"

namespace vantorel::camsim {

// Misbehaviour chosen per run, for the tests.
enum class Fault {
  kNone,
  kNotFound,      // status 404 with an HTML error page
  kServerError,   // status 500 with an HTML error page
  kEmpty,         // status 200, empty body
  kTruncated,     // the first half of the JPEG, announced as the whole body
  kHugeHeader,    // a JPEG whose header claims 65000 x 65000 pixels
  kStall,         // reads the request, then sends nothing until the server stops
  kCloseMidBody,  // announces the full length, sends half, closes the connection
  kDrip,          // the whole JPEG, one byte per write, drip_gap apart
  kSlow,          // waits slow_delay, then answers normally
  kReset,         // reads the request head, then resets the connection (raw_fault_server.h)
  kNoRead,        // accepts the connection, then never reads nor answers (raw_fault_server.h)
  // Hostile answers, below what httplib would send (raw_fault_server.h):
  kEndlessBody,      // 200 without a length, then zeros for ever
  kInflating,        // 200, "Transfer-Encoding: gzip, chunked", a gzip stream of zeros without end
  kEndlessTrailers,  // a chunked 200 with a short body, then trailer lines for ever
  kSlowBody,         // 200 announcing 1 MB, then one byte every 200 ms
};

// "none", "not-found", "server-error", "empty", "truncated", "huge-header", "stall",
// "close-mid-body", "drip", "slow", "reset", "no-read", "endless-body", "inflating",
// "endless-trailers", "slow-body".
std::optional<Fault> ParseFault(std::string_view name);
const char* FaultName(Fault fault);
std::vector<const char*> FaultNames();

// Misbehaviour of the picture stream (mjpg/video.cgi), chosen per run.
enum class MjpegFault {
  kNone,
  kNoLength,        // parts without Content-Length: each ends at the next boundary
  kDashedBoundary,  // the header's boundary written with the delimiter's "--"
  kJunkFirst,       // junk bytes before the first boundary
  kHugePart,        // every fourth part (from the second) is 48 MiB without a length
  kStop,            // two parts, then nothing (held open for silence_hold, then closed)
};

// "none", "no-length", "dashed-boundary", "junk-first", "huge-part", "stop".
std::optional<MjpegFault> ParseMjpegFault(std::string_view name);
std::vector<const char*> MjpegFaultNames();

struct Options {
  int port = 0;                      // 0: any free port
  std::vector<std::string> stills;   // JPEG files' contents served in turn; empty: the scene
  Fault fault = Fault::kNone;
  std::chrono::milliseconds slow_delay{200};
  std::chrono::microseconds drip_gap{100};
  SignInOptions sign_in;             // --auth, --auth-scheme, --digest, --nonce-seconds (sign_in.h)
  std::string basic_auth;            // older form: "user:password" required as HTTP Basic when
                                     // set (and sign_in.account is empty)
  int fps = 0;                       // stills answered per second at most; 0: as fast as asked
  int refuse_every = 0;              // every Nth still request is answered 503; 0: never
  TalkOptions talk;                  // the upload endpoint (talk_options.h)
  // The audio stream (audio_endpoint.cc, audio_stream.h).
  std::vector<int16_t> audio_in;     // 8000 Hz sound, looped; empty: a door chime
  unsigned audio_faults = 0;         // AudioFault bits
  int audio_parts = 0;               // parts before the stream ends, stalls or breaks off; 0: endless
  int audio_drop_after = 0;          // each stream's connection is closed after this many parts; 0: never
  int audio_silence_after = 0;       // each stream goes silent after this many parts; 0: never
  std::chrono::milliseconds silence_hold{30000};  // how long a silent stream is held, then closed
  std::chrono::milliseconds audio_part_interval{50};  // 0: as fast as the client reads
  CurrentOptions current;            // --firmware, --duplex and the web server's ways (firmware_current.h)
  EchoOptions echo;                  // what the talks play comes back in the sound (echo_loop.h)
  IoOptions io;                      // the call button and the door opener (io_options.h)
  MjpegFault mjpeg_fault = MjpegFault::kNone;  // the picture stream's misbehaviour
};

// What the tests look at.
struct Stats {
  int requests = 0;            // requests that reached an endpoint
  int max_concurrent = 0;      // most requests in progress at one moment
  std::string last_user_agent;
  int challenges = 0;          // 401 answers asking for the sign-in
  int stale_challenges = 0;    // of these, for an expired Digest nonce
  int stills = 0;              // stills answered (200)
  int still_connections = 0;   // distinct connections the stills came on
  int audio_streams = 0;       // sound streams begun
  int picture_streams = 0;     // picture streams (mjpg/video.cgi) begun
  int stream_frames = 0;       // pictures sent in them
  TalkStats talk;              // the upload endpoint (talk_options.h)
  CurrentStats current;        // the newer firmware's and the web server's answers (firmware_current.h)
  IoStats io;                  // the ports (io_options.h)
};

// Shared by the server and its endpoints; lives as long as the server.
class Context {
 public:
  explicit Context(Options options);
  const Options& options() const { return options_; }

  // Sleeps `d` or until the server stops; false when it stops.
  template <typename Duration>
  bool Pause(Duration d) {
    std::unique_lock lock(mutex_);
    return !stop_cv_.wait_for(lock, d, [&] { return stopping_; });
  }
  void WaitUntilStopping() {
    std::unique_lock lock(mutex_);
    stop_cv_.wait(lock, [&] { return stopping_; });
  }
  bool Stopping() const {
    std::lock_guard lock(mutex_);
    return stopping_;
  }
  void SetStopping();

  // Counts a request for the whole life of the returned object.
  class RequestScope {
   public:
    RequestScope(Context& c, const httplib::Request& req);
    ~RequestScope();
    RequestScope(const RequestScope&) = delete;
    RequestScope& operator=(const RequestScope&) = delete;

   private:
    Context& c_;
  };

  // False (and a 401 challenge in `res`, with "Connection: close") when the sign-in is
  // required and not given right. With --challenge-after-body a refused request's `body`
  // is read to its end before the challenge is made.
  bool Authorized(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader* body = nullptr);

  // With --fps: waits for the next still's frame time (one per 1/fps s, in turn); false
  // when the server stops meanwhile.
  bool WaitForFrameTime();
  // Notes a still answered on the connection from `remote_port`.
  void CountStill(int remote_port);

  Stats stats() const;
  // Changes the stats under their lock: change(Stats&).
  template <typename Change>
  void UpdateStats(Change change) {
    std::lock_guard lock(mutex_);
    change(stats_);
  }
  uint64_t NextFrame() { return frame_.fetch_add(1); }
  // With refuse_every: true for every Nth still request (the camera is busy).
  bool RefuseThisStill() {
    const auto every = static_cast<uint64_t>(options_.refuse_every);
    return every > 0 && (still_requests_.fetch_add(1) + 1) % every == 0;
  }
  // The next of options().stills, in turn; only when there are some.
  const std::string& NextStill();

  // The loudspeaker's way back into the microphone.
  EchoLoop& echo() { return echo_; }

 private:
  const Options options_;
  EchoLoop echo_{options_.echo};
  SignIn sign_in_;
  mutable std::mutex mutex_;
  std::chrono::steady_clock::time_point next_frame_{};
  std::vector<int> still_ports_;  // the connections stills came on, newest last
  std::condition_variable stop_cv_;
  bool stopping_ = false;
  Stats stats_;
  int in_flight_ = 0;
  std::atomic<uint64_t> frame_{0};
  std::atomic<uint64_t> still_requests_{0};
  std::atomic<size_t> next_still_{0};
};

class Server {
 public:
  explicit Server(Options options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds 127.0.0.1 (only) and serves on a background thread. False when it cannot bind.
  bool Start();
  // Ends stalls and drips, stops accepting, waits for the serving threads. Idempotent.
  void Stop();

  int port() const { return port_; }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  Stats stats() const { return context_.stats(); }

 private:
  Context context_;
  httplib::Server http_;
  std::thread thread_;
  std::atomic<bool> listen_ended_{false};
  std::unique_ptr<RawFaultServer> raw_;  // instead of http_ for the faults below HTTP
  int port_ = -1;
};

}  // namespace vantorel::camsim
