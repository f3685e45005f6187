// POST /axis-cgi/audio/transmit.cgi of the newer firmware: one singlepart body of raw sound
// at 8000 Hz, "Content-Type: audio/basic" (G.711 mu-law) or "audio/G726-32" (G.726 32 kbit/s,
// the earlier code of a byte in bits 4-7), with a Content-Length, none (the body ends with
// the connection) or chunked. Parameters after the type (";rate=8000") are ignored.
//
// In turn: the sign-in; the run's faults that answer before the body (as in
// talk_endpoint.cc); 405 when the camera only sends (--duplex listen); 415 for any other
// type; 503 while another talk plays. A taken talk is played in real time: the body is
// read no faster than the sound lasts (a little ahead). It ends with the body, or after the
// receiver timeout without data; the answer is then 200 and the connection closes.
// --talk-out writes what was played. The talk faults close and stop-reading strike after
// --talk-after parts of 20 ms of sound.

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "camsim/endpoints.h"
#include "camsim/firmware_current.h"
#include "codec/g711.h"
#include "codec/g726.h"
#include "files/wav_file.h"

namespace vantorel::camsim {

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr int kSampleRate = 8000;
constexpr size_t kPartSamples20ms = 160;  // a talk's "part": 20 ms of sound
// Sound kept for the WAV file: half an hour. Later sound is still read and counted.
constexpr size_t kMaxSamples = size_t{kSampleRate} * 60 * 30;
// How far ahead of the loudspeaker the body is read.
constexpr milliseconds kPlayAhead{200};

enum class Codec { kMuLaw, kG726 };

// The codec of a Content-Type value; nullopt for one the camera does not play.
std::optional<Codec> CodecOf(std::string_view type) {
  type = type.substr(0, type.find(';'));
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) type.remove_suffix(1);
  while (!type.empty() && (type.front() == ' ' || type.front() == '\t')) type.remove_prefix(1);
  const auto same = [type](std::string_view want) {
    return type.size() == want.size() && std::equal(type.begin(), type.end(), want.begin(), [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
  };
  if (same("audio/basic")) return Codec::kMuLaw;
  if (same("audio/G726-32")) return Codec::kG726;
  return std::nullopt;
}

// One taken talk: its decoder, the loudspeaker's clock and what it played.
class SinglepartTalk {
 public:
  SinglepartTalk(Context& context, Codec codec, steady_clock::time_point began)
      : context_(context), codec_(codec), began_(began) {
    G726InitState(decoder_);
  }

  // Bytes that carry `samples` more samples (rounded up).
  size_t BytesFor(uint64_t samples) const { return codec_ == Codec::kMuLaw ? samples : (samples + 1) / 2; }
  uint64_t samples() const { return played_; }

  // Plays the next bytes of the body: decodes them, keeps them for the WAV file and waits
  // until the loudspeaker is no more than kPlayAhead behind. False when the server stops.
  bool Play(const char* data, size_t size) {
    if (size == 0) return true;
    const auto now = steady_clock::now();
    if (!first_sound_at_) first_sound_at_ = now;
    std::vector<int16_t> samples(codec_ == Codec::kMuLaw ? size : 2 * size);
    const auto* bytes = reinterpret_cast<const uint8_t*>(data);
    if (codec_ == Codec::kMuLaw) {
      MuLawDecodeBlock(samples.data(), bytes, size);
    } else {
      G726DecodeBlock(samples.data(), bytes, size, decoder_, G726Packing::kEarlierHigh);
    }
    if (kept_.size() + samples.size() <= kMaxSamples) kept_.insert(kept_.end(), samples.begin(), samples.end());
    // The loudspeaker plays them once what came before is played: its echo comes back then.
    const auto plays_at = std::max(now, *first_sound_at_ + std::chrono::microseconds(
                                                               played_ * 1000000 / static_cast<uint64_t>(kSampleRate)));
    context_.echo().Play(samples, plays_at);
    played_ += samples.size();
    bytes_ += size;
    context_.UpdateStats([&](Stats& s) {
      s.talk.bytes = bytes_;
      s.talk.samples = played_;
      s.talk.parts = static_cast<int>(played_ / kPartSamples20ms);
      if (!s.talk.first_part_at) {
        s.talk.first_part_at = first_sound_at_;
        s.talk.first_part_after = std::chrono::duration_cast<milliseconds>(*first_sound_at_ - began_);
      }
    });
    const auto sound_ends =
        *first_sound_at_ + std::chrono::microseconds(played_ * 1000000 / static_cast<uint64_t>(kSampleRate));
    const auto wait = sound_ends - kPlayAhead - steady_clock::now();
    return wait <= steady_clock::duration::zero() || context_.Pause(wait);
  }

  // The talk has ended: the sound goes to the WAV file, the talk to the output.
  void Finish(const std::string& type, bool timed_out) {
    const TalkOptions& o = context_.options().talk;
    std::string error;
    const bool written = !o.out_wav.empty() && WriteWavMono16(o.out_wav, kSampleRate, kept_, error);
    if (!error.empty()) std::fprintf(stderr, "vantorel-camsim: talk: %s\n", error.c_str());
    if (!o.print) return;
    std::string line = "talk: " + type + ", " + std::to_string(played_) + " samples played";
    if (first_sound_at_) {
      line += ", first sound after " +
              std::to_string(std::chrono::duration_cast<milliseconds>(*first_sound_at_ - began_).count()) + " ms";
    }
    if (timed_out) line += ", ended by the receiver timeout";
    if (written) line += ", " + std::to_string(kept_.size()) + " samples written to " + o.out_wav;
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }

 private:
  Context& context_;
  const Codec codec_;
  const steady_clock::time_point began_;
  G726State decoder_;
  std::vector<int16_t> kept_;
  uint64_t played_ = 0;
  uint64_t bytes_ = 0;
  std::optional<steady_clock::time_point> first_sound_at_;
};

void Refuse(httplib::Response& res, int status, const char* text) {
  res.status = status;
  res.set_content(std::string(text) + "\n", "text/plain");
}

}  // namespace

void RegisterCurrentTalkEndpoint(httplib::Server& http, Context& context, std::shared_ptr<CurrentSpeaker> speaker) {
  http.Post("/axis-cgi/audio/transmit.cgi", [&context, speaker](const httplib::Request& req, httplib::Response& res,
                                                                const httplib::ContentReader& read) {
    const auto began = steady_clock::now();
    Context::RequestScope scope(context, req);
    context.UpdateStats([](Stats& s) { ++s.talk.talks; });
    // An answer before the body has been read ends the connection: what is left of the
    // body must not be taken for a next request.
    res.set_header("Connection", "close");
    const Options& options = context.options();
    const TalkOptions& o = options.talk;
    if (!context.Authorized(req, res, &read)) return;
    if (o.fault == TalkFault::kUnauthorized) {
      res.status = 401;
      res.set_header("WWW-Authenticate", "Basic realm=\"camsim\"");
      res.set_content("<html><body><h1>401 Unauthorized</h1></body></html>", "text/html");
      return;
    }
    if (AnswerErrorFault(options.fault, res)) return;
    if (options.fault == Fault::kEmpty) {
      res.status = 200;
      return;
    }
    if (options.fault == Fault::kStall) {
      context.WaitUntilStopping();
      res.status = 503;
      return;
    }
    if (options.current.duplex == Duplex::kListen) {
      context.UpdateStats([](Stats& s) { ++s.current.not_allowed; });
      return Refuse(res, 405, "The camera's audio is set to send only.");
    }
    const std::string type = req.get_header_value("Content-Type");
    const std::optional<Codec> codec = CodecOf(type);
    if (!codec) {
      context.UpdateStats([](Stats& s) { ++s.current.unsupported_type; });
      return Refuse(res, 415, "Unsupported audio format; audio/basic and audio/G726-32 are played.");
    }
    if (speaker->playing.exchange(true)) {
      context.UpdateStats([](Stats& s) { ++s.current.busy; });
      return Refuse(res, 503, "Another client is talking.");
    }

    // Taken: the latest talk's numbers start afresh.
    context.UpdateStats([&](Stats& s) {
      TalkStats fresh;
      fresh.talks = s.talk.talks;
      fresh.active = s.talk.active + 1;
      fresh.user_agent = req.get_header_value("User-Agent");
      fresh.content_type = type;
      s.talk = fresh;
    });
    SinglepartTalk talk(context, *codec, began);
    const bool faulty = o.fault == TalkFault::kClose || o.fault == TalkFault::kStopReading;
    const uint64_t fault_samples = static_cast<uint64_t>(o.fault_after_parts) * kPartSamples20ms;
    bool we_ended = false;  // the read broke off on our side, not the client's
    auto last_data = steady_clock::now();
    const auto take = [&](const char* data, size_t size) {
      if (context.Stopping() || (options.fault == Fault::kDrip && !context.Pause(options.drip_gap))) return false;
      if (faulty) size = std::min(size, talk.BytesFor(fault_samples - std::min(fault_samples, talk.samples())));
      if (!talk.Play(data, size)) return false;
      last_data = steady_clock::now();
      if (!faulty || talk.samples() < fault_samples) return true;
      if (o.fault == TalkFault::kStopReading) context.WaitUntilStopping();
      return false;
    };
    const bool whole = (options.fault != Fault::kSlow || context.Pause(options.slow_delay)) &&
                       read([&](const char* data, size_t size) {
                         if (take(data, size)) return true;
                         we_ended = true;
                         return false;
                       });
    // A read that breaks off a receiver timeout after the last data is the camera's own end.
    const bool timed_out = !whole && !we_ended && !context.Stopping() &&
                           steady_clock::now() - last_data >= options.current.receiver_timeout * 9 / 10;
    speaker->playing.store(false);
    talk.Finish(type, timed_out);
    context.UpdateStats([timed_out](Stats& s) {
      s.talk.ended = true;
      --s.talk.active;
      if (timed_out) ++s.current.receiver_timeouts;
    });
    if (o.fault == TalkFault::kClose) {
      // As the design's camera: answered while the body goes on, with Connection: close.
      res.status = 503;
      res.set_content("<html><body><h1>503 Service Unavailable</h1></body></html>", "text/html");
    } else {
      AnswerAndClose(res, 200, "", "text/plain");
    }
  });
}

}  // namespace vantorel::camsim
