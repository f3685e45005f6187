// POST /axis-cgi/audio/transmit.cgi: the camera's loudspeaker. The body arrives for as long
// as the talk lasts; it is read as it streams in, never held whole.
//
// Besides the talk faults (talk_options.h), the run's --fault applies as follows:
//   not-found, server-error  an HTML error page with that status, before reading the body
//   empty                    status 200 with no body, before reading the body
//   stall                    reads nothing and answers nothing until the server stops
//   slow                     waits slow_delay, then reads the talk
//   drip                     a slow reader: drip_gap between the pieces it reads
//   truncated, huge-header, close-mid-body  (downloads only) the talk is read normally
//   reset, no-read and the hostile answers (endless-body, inflating, endless-trailers,
//   slow-body)               below HTTP, the same on every path (raw_fault_server.h)

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "camsim/endpoints.h"
#include "camsim/talk_body.h"
#include "codec/g726.h"
#include "files/wav_file.h"

namespace vantorel::camsim {

namespace {

using std::chrono::steady_clock;

constexpr int kSampleRate = 8000;
// Sound kept for the WAV file: half an hour. Later parts are still read and counted.
constexpr size_t kMaxSamples = size_t{kSampleRate} * 60 * 30;

// One talk: its reader, its decoder and what it heard.
class Talk {
 public:
  Talk(Context& context, steady_clock::time_point began)
      : context_(context), began_(began), parser_([this](const uint8_t* codes, size_t size) { Heard(codes, size); }) {
    G726InitState(decoder_);
  }

  void Feed(const char* data, size_t size) {
    parser_.Feed(reinterpret_cast<const uint8_t*>(data), size);
    context_.UpdateStats([&](Stats& s) {
      s.talk.bytes = parser_.bytes();
      s.talk.parts = parser_.parts();
      s.talk.samples = decoded_;
      s.talk.layout_errors = parser_.layout_errors();
      s.talk.first_error = parser_.first_error();
      if (first_part_at_ && !s.talk.first_part_at) {
        s.talk.first_part_at = first_part_at_;
        s.talk.first_part_after = std::chrono::duration_cast<std::chrono::milliseconds>(*first_part_at_ - began_);
      }
    });
  }

  int parts() const { return parser_.parts(); }

  // The body has ended: the sound goes to the WAV file, the talk to the output.
  void Finish() {
    const TalkOptions& o = context_.options().talk;
    std::string error;
    const bool written = !o.out_wav.empty() && WriteWavMono16(o.out_wav, kSampleRate, samples_, error);
    if (!error.empty()) std::fprintf(stderr, "vantorel-camsim: talk: %s\n", error.c_str());
    context_.UpdateStats([&](Stats& s) {
      s.talk.ended = true;
      --s.talk.active;
    });
    if (!o.print) return;
    std::string line = "talk: " + std::to_string(parser_.parts()) + " parts, " +
                       std::to_string(parser_.layout_errors()) + " layout errors";
    if (first_part_at_) {
      line += ", first part after " +
              std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(*first_part_at_ - began_).count()) +
              " ms";
    }
    if (written) line += ", " + std::to_string(samples_.size()) + " samples written to " + o.out_wav;
    if (!parser_.first_error().empty()) line += "; first error: " + parser_.first_error();
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }

 private:
  void Heard(const uint8_t* codes, size_t size) {
    if (!first_part_at_) first_part_at_ = steady_clock::now();
    int16_t samples[2 * kTalkPartCodes];
    const size_t n = G726DecodeBlock(samples, codes, size, decoder_);
    decoded_ += n;
    context_.echo().Play(std::span<const int16_t>(samples, n));
    if (samples_.size() + n <= kMaxSamples) samples_.insert(samples_.end(), samples, samples + n);
  }

  Context& context_;
  const steady_clock::time_point began_;
  TalkBodyParser parser_;
  G726State decoder_;
  std::vector<int16_t> samples_;
  uint64_t decoded_ = 0;
  std::optional<steady_clock::time_point> first_part_at_;
};

}  // namespace

void RegisterTalkGet(httplib::Server& http, Context& context) {
  // A GET is no talk: signed in as every endpoint is, then 405. A talk signs in with one
  // before its endless POST.
  http.Get("/axis-cgi/audio/transmit.cgi", [&context](const httplib::Request& req, httplib::Response& res) {
    Context::RequestScope scope(context, req);
    if (!context.Authorized(req, res)) return;
    res.status = 405;
    res.set_header("Allow", "POST");
  });
}

void RegisterTalkEndpoint(httplib::Server& http, Context& context) {
  http.Post("/axis-cgi/audio/transmit.cgi", [&context](const httplib::Request& req, httplib::Response& res,
                                                       const httplib::ContentReader& read) {
    const auto began = steady_clock::now();
    Context::RequestScope scope(context, req);
    context.UpdateStats([&](Stats& s) {
      const int talks = s.talk.talks + 1;
      const int active = s.talk.active + 1;
      s.talk = TalkStats{};
      s.talk.talks = talks;
      s.talk.active = active;
      s.talk.user_agent = req.get_header_value("User-Agent");
      s.talk.content_type = req.get_header_value("Content-Type");
    });
    // An answer before the body has been read ends the connection: what is left of the
    // body must not be taken for a next request.
    res.set_header("Connection", "close");
    const TalkOptions& o = context.options().talk;
    const bool authorized = context.Authorized(req, res, &read);  // answers 401 itself when not
    if (authorized && o.fault == TalkFault::kUnauthorized) {
      res.status = 401;
      res.set_header("WWW-Authenticate", "Basic realm=\"camsim\"");
      res.set_content("<html><body><h1>401 Unauthorized</h1></body></html>", "text/html");
    }
    const Fault run_fault = context.options().fault;
    bool answered = !authorized || o.fault == TalkFault::kUnauthorized || AnswerErrorFault(run_fault, res);
    if (!answered && run_fault == Fault::kEmpty) {
      res.status = 200;
      answered = true;
    }
    if (!answered && run_fault == Fault::kStall) {
      context.WaitUntilStopping();
      res.status = 503;
      answered = true;
    }
    if (answered) {
      context.UpdateStats([](Stats& s) {
        s.talk.ended = true;
        --s.talk.active;
      });
      return;
    }
    if (run_fault == Fault::kSlow && !context.Pause(context.options().slow_delay)) return;

    Talk talk(context, began);
    const bool faulty = o.fault == TalkFault::kClose || o.fault == TalkFault::kStopReading;
    read([&](const char* data, size_t size) {
      if (context.Stopping()) return false;
      if (run_fault == Fault::kDrip && !context.Pause(context.options().drip_gap)) return false;
      if (!faulty) {
        talk.Feed(data, size);
        return true;
      }
      // Byte by byte, so that the fault strikes right after the chosen part.
      for (size_t i = 0; i < size && talk.parts() < o.fault_after_parts; ++i) talk.Feed(data + i, 1);
      if (talk.parts() < o.fault_after_parts) return true;
      if (o.fault == TalkFault::kStopReading) context.WaitUntilStopping();
      return false;
    });
    talk.Finish();
    if (o.fault == TalkFault::kClose) {
      res.status = 503;
      res.set_content("<html><body><h1>503 Service Unavailable</h1></body></html>", "text/html");
    }
  });
}

}  // namespace vantorel::camsim
