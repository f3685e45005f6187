#pragma once
// One connection's endless sound answer on GET /axis-cgi/audio/receive.cgi, in either
// dialect: the dialect makes the parts, this sends them as the run asks (their pace,
// --audio-parts with the run's fault, --drop-after, --silence-after, split and dripped
// writes). audio_endpoint.cc says how each fault shapes the stream.

#include <httplib.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "camsim/server.h"

namespace vantorel::camsim {

struct AudioPart {
  std::string bytes;
  std::vector<size_t> cuts;  // where a split write cuts it, ascending
};

class AudioConnection {
 public:
  // `make(index)` makes the part with that index (0 first, each index once, in turn; the
  // part a close-mid-body fault breaks off is made too). `interval`: the time from one part
  // to the next; zero sends them as fast as the client reads.
  using PartMaker = std::function<AudioPart(int index)>;
  AudioConnection(Context& context, std::chrono::microseconds interval, PartMaker make);

  // One step of the content provider: the next part, or the end the run asks for. False
  // cuts the connection.
  bool Step(httplib::DataSink& sink);

 private:
  // Writes `bytes` as the run's faults ask: whole, cut at `cuts`, or dripped byte by byte.
  bool Write(httplib::DataSink& sink, std::string_view bytes, const std::vector<size_t>& cuts);

  Context& context_;
  const Options& options_;
  const std::chrono::microseconds interval_;
  PartMaker make_;
  std::chrono::steady_clock::time_point next_due_;
  int sent_ = 0;
};

// What every sound answer does after the sign-in: the run's faults that answer instead of a
// stream (an error page, an empty body, a stall before the first part) or delay it (slow).
// False when `res` holds the answer.
bool StartAudioAnswer(Context& context, httplib::Response& res, const char* content_type);

}  // namespace vantorel::camsim
