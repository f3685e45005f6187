// GET /axis-cgi/audio/receive.cgi of the newer firmware: the microphone at 8000 Hz,
//   (default)                 "Content-Type: audio/basic", then raw G.711 mu-law, one
//                             write per 20 ms of sound (160 bytes)
//   ?audiocodec=g726          "Content-Type: audio/G726-32", then raw G.726 32 kbit/s, the
//                             earlier of a byte's two codes in bits 4-7, 80 bytes per 20 ms
//   ?httptype=multipart       a multipart/x-mixed-replace answer of 64 ms parts:
//                             "--B" CRLF "Content-Type: audio/basic" CRLF
//                             "Content-Length: 512" CRLF CRLF, 512 bytes, CRLF
//                             (with audiocodec=g726: audio/G726-32 and 256 bytes)
// Another httptype or audiocodec is answered 400; a camera that only plays (--duplex talk)
// answers 405. With --duplex half the microphone sends silence while a talk plays. The
// run's faults shape the stream as in the design's (audio_endpoint.cc): the pieces count as
// parts, garbage goes only between multipart parts, and --part-ms 0 sends as fast as read
// (any other value keeps the sound's own pace).

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "camsim/audio_connection.h"
#include "camsim/audio_stream.h"
#include "camsim/firmware_current.h"
#include "codec/g711.h"
#include "codec/g726.h"

namespace vantorel::camsim {

namespace {

constexpr const char* kBoundary = "camsim-audio-boundary";
constexpr int kPieceSamples = 160;  // 20 ms: one write of a singlepart answer
constexpr int kMultipartSamples = 512;  // 64 ms: one part of a multipart answer

struct Format {
  bool multipart = false;
  bool g726 = false;
  const char* type() const { return g726 ? "audio/G726-32" : "audio/basic"; }
  int samples() const { return multipart ? kMultipartSamples : kPieceSamples; }
};

// The microphone of one connection: the sound looped from its start, coded by a coder
// that starts with the connection.
class Microphone {
 public:
  Microphone(const EchoLoop& echo, std::shared_ptr<const std::vector<int16_t>> sound, Format format, unsigned faults,
             std::shared_ptr<CurrentSpeaker> speaker, bool half_duplex)
      : echo_(echo), sound_(std::move(sound)), format_(format), faults_(faults), speaker_(std::move(speaker)),
        half_duplex_(half_duplex) {
    G726InitState(coder_);
  }

  std::string Next() {
    std::vector<int16_t> samples(static_cast<size_t>(format_.samples()));
    const bool muted = half_duplex_ && speaker_->playing.load();
    for (int16_t& s : samples) {
      s = muted || sound_->empty() ? 0 : (*sound_)[position_];
      if (!sound_->empty()) position_ = (position_ + 1) % sound_->size();
    }
    // The loudspeaker's echo, heard over the samples' own span.
    if (!muted) {
      echo_.MixInto(samples, std::chrono::steady_clock::now() -
                                 std::chrono::milliseconds(format_.samples() * 1000 / kAudioRate));
    }
    std::string audio(format_.g726 ? samples.size() / 2 : samples.size(), '\0');
    auto* out = reinterpret_cast<uint8_t*>(audio.data());
    if (format_.g726) {
      G726EncodeBlock(out, samples.data(), samples.size(), coder_, G726Packing::kEarlierHigh);
    } else {
      MuLawEncodeBlock(out, samples.data(), samples.size());
    }
    if (faults_ & kAudioZeros) {
      for (size_t i : {size_t{0}, audio.size() / 2, audio.size() - 1}) audio[i] = '\0';
    }
    return audio;
  }

 private:
  const EchoLoop& echo_;
  const std::shared_ptr<const std::vector<int16_t>> sound_;
  const Format format_;
  const unsigned faults_;
  const std::shared_ptr<CurrentSpeaker> speaker_;
  const bool half_duplex_;
  size_t position_ = 0;
  G726State coder_;
};

AudioConnection::PartMaker CurrentParts(const Options& options, Format format, std::shared_ptr<Microphone> microphone,
                                        uint32_t seed) {
  return [format, microphone, seed, faults = options.audio_faults](int index) {
    AudioPart p;
    std::string& part = p.bytes;
    const auto sent = static_cast<uint32_t>(index);
    const std::string audio = microphone->Next();
    if (!format.multipart) {
      p.cuts = {1, audio.size() / 2, audio.size() - 1};
      part = audio;
      return p;
    }
    if (faults & kAudioGarbage) part = GarbageBetweenParts(seed * 7919u + sent);
    const size_t start = part.size();
    p.cuts.push_back(start + 5);  // inside the boundary line
    part += std::string("--") + kBoundary + "\r\nContent-Type: " + format.type();
    p.cuts.push_back(part.size() - 3);  // inside the type
    part += "\r\nContent-Length: " + std::to_string(audio.size()) + "\r\n\r";
    p.cuts.push_back(part.size());  // before the blank line's last byte
    part += "\n";
    p.cuts.push_back(part.size());  // between the headers and the audio
    part += audio;
    p.cuts.push_back(part.size() - 1 - (seed + sent) % 150);  // inside the audio
    p.cuts.push_back(part.size());  // before the part's closing line end
    part += "\r\n";
    return p;
  };
}

}  // namespace

void RegisterCurrentAudioEndpoint(httplib::Server& http, Context& context, std::shared_ptr<CurrentSpeaker> speaker) {
  const Options& o = context.options();
  auto sound = std::make_shared<const std::vector<int16_t>>(o.audio_in.empty() ? DoorChime() : o.audio_in);
  auto connections = std::make_shared<std::atomic<uint32_t>>(0);
  http.Get("/axis-cgi/audio/receive.cgi", [&context, sound, connections, speaker](const httplib::Request& req,
                                                                                  httplib::Response& res) {
    auto scope = std::make_shared<Context::RequestScope>(context, req);
    if (!context.Authorized(req, res)) return;
    const Options& options = context.options();
    if (options.current.duplex == Duplex::kTalk) {
      context.UpdateStats([](Stats& s) { ++s.current.not_allowed; });
      res.status = 405;
      res.set_content("The camera's audio is set to play only.\n", "text/plain");
      return;
    }
    Format format;
    const std::string httptype = req.get_param_value("httptype");
    const std::string codec = req.get_param_value("audiocodec");
    if ((!httptype.empty() && httptype != "singlepart" && httptype != "multipart") ||
        (!codec.empty() && codec != "g711" && codec != "g726")) {
      res.status = 400;
      res.set_content("Invalid httptype or audiocodec.\n", "text/plain");
      return;
    }
    format.multipart = httptype == "multipart";
    format.g726 = codec == "g726";
    const std::string content_type =
        format.multipart ? std::string("multipart/x-mixed-replace; boundary=") + kBoundary : format.type();
    if (!StartAudioAnswer(context, res, content_type.c_str())) return;
    context.UpdateStats([](Stats& s) { ++s.audio_streams; });
    // Real time unless the run asks for as fast as read (--part-ms 0).
    const std::chrono::microseconds interval =
        options.audio_part_interval.count() == 0 ? std::chrono::microseconds(0)
                                                 : std::chrono::microseconds(format.samples() * 1000000 / kAudioRate);
    auto microphone = std::make_shared<Microphone>(context.echo(), sound, format, options.audio_faults, speaker,
                                                   options.current.duplex == Duplex::kHalf);
    auto connection = std::make_shared<AudioConnection>(
        context, interval, CurrentParts(options, format, microphone, connections->fetch_add(1) + 1));
    res.set_header("Connection", "close");  // the body has no length: its end is the connection's
    res.set_content_provider(content_type, [connection, scope](size_t, httplib::DataSink& sink) {
      return connection->Step(sink);
    });
  });
}

}  // namespace vantorel::camsim
