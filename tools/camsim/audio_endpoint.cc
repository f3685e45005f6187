// GET /axis-cgi/audio/receive.cgi: the camera's microphone as an endless multipart stream,
// paced in real time.
//
// The run's --fault applies as follows:
//   not-found, server-error  an HTML error page with that status
//   empty                    status 200, no body
//   slow                     waits slow_delay, then streams
//   stall                    sends audio_parts parts (with 0: not even the reply's header),
//                            then nothing until the server stops
//   close-mid-body           sends audio_parts parts and half of the next, then cuts the
//                            connection
//   drip                     every byte its own write, drip_gap apart
//   truncated, huge-header   (pictures only) the stream is sent normally
//   reset, no-read and the hostile answers (endless-body, inflating, endless-trailers,
//   slow-body)               below HTTP, the same on every path (raw_fault_server.h)
// Without one of the last three, audio_parts > 0 ends the stream cleanly after that many
// parts. Whatever the fault, audio_drop_after > 0 cuts each connection after that many parts
// and audio_silence_after > 0 makes each stream go silent after that many (held open for
// silence_hold, then closed); the next connection is served afresh. Options::audio_faults adds garbage, split writes and zero bytes (audio_stream.h).
// With Options::echo, what the talks play comes back in the sound (echo_loop.h).

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "camsim/audio_stream.h"
#include "camsim/endpoints.h"

namespace vantorel::camsim {

namespace {

using Clock = std::chrono::steady_clock;

// One connection's stream; lives as long as its content provider.
class AudioConnection {
 public:
  AudioConnection(Context& context, std::shared_ptr<const std::vector<int16_t>> sound, uint32_t seed)
      : context_(context),
        options_(context.options()),
        frames_(std::move(sound), options_.audio_faults),
        seed_(seed),
        next_due_(Clock::now()) {}

  // One step of the content provider: the next part, or the end the run asks for. False
  // cuts the connection.
  bool Step(httplib::DataSink& sink) {
    if (options_.audio_drop_after > 0 && sent_ >= options_.audio_drop_after) return false;
    if (options_.audio_silence_after > 0 && sent_ >= options_.audio_silence_after) {
      context_.Pause(options_.silence_hold);
      return false;
    }
    if (options_.audio_parts > 0 && sent_ >= options_.audio_parts) {
      switch (options_.fault) {
        case Fault::kStall:
          context_.WaitUntilStopping();
          return false;
        case Fault::kCloseMidBody: {
          const std::string part = NextPart();
          Write(sink, std::string_view(part).substr(0, part.size() / 2));
          return false;
        }
        default:
          // Closing the connection ends a body without length; httplib would otherwise
          // keep the connection open for the next request and the client would wait.
          return false;
      }
    }
    if (sent_ > 0) {
      next_due_ += options_.audio_part_interval;
      const auto wait = next_due_ - Clock::now();
      if (wait > Clock::duration::zero() && !context_.Pause(wait)) return false;
    }
    const std::string part = NextPart();
    ++sent_;
    return Write(sink, part);
  }

 private:
  std::string NextPart() {
    std::string part;
    if (options_.audio_faults & kAudioGarbage) part = GarbageBetweenParts(seed_ * 7919u + static_cast<uint32_t>(sent_));
    cuts_.clear();
    cuts_.push_back(part.size() + 7);  // inside the boundary line
    part += kPartHeader;
    cuts_.push_back(part.size() - 10);  // inside the marker: "audio/32" | "KADPCM\r\n\r\n"
    cuts_.push_back(part.size() - 1);   // before the blank line's last byte
    cuts_.push_back(part.size());       // between the marker and the audio
    // The part holds the microphone's last 50 ms, the loudspeaker's echo among them.
    const auto frame = frames_.Next([this](std::span<int16_t> sound) {
      context_.echo().MixInto(sound, Clock::now() - std::chrono::milliseconds(kPartSamples * 1000 / kAudioRate));
    });
    part.append(reinterpret_cast<const char*>(frame.data()), frame.size());
    cuts_.push_back(part.size() - 1 - (seed_ + static_cast<uint32_t>(sent_)) % 150);  // inside the audio
    cuts_.push_back(part.size());  // before the part's closing line end
    part += "\r\n";
    return part;
  }

  // Writes `bytes` as the run's faults ask: whole, cut at the part's awkward places, or
  // dripped byte by byte.
  bool Write(httplib::DataSink& sink, std::string_view bytes) {
    if (options_.fault == Fault::kDrip) {
      for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && !context_.Pause(options_.drip_gap)) return false;
        if (!sink.write(bytes.data() + i, 1)) return false;
      }
      return true;
    }
    if (!(options_.audio_faults & kAudioSplit)) return sink.write(bytes.data(), bytes.size());
    size_t at = 0;
    for (size_t cut : cuts_) {
      if (cut <= at || cut >= bytes.size()) continue;
      if (!sink.write(bytes.data() + at, cut - at) || !context_.Pause(options_.drip_gap)) return false;
      at = cut;
    }
    return sink.write(bytes.data() + at, bytes.size() - at);
  }

  Context& context_;
  const Options& options_;
  AudioFrames frames_;
  const uint32_t seed_;
  Clock::time_point next_due_;
  int sent_ = 0;
  std::vector<size_t> cuts_;  // of the part being written, ascending
};

}  // namespace

void RegisterAudioEndpoint(httplib::Server& http, Context& context) {
  const Options& o = context.options();
  auto sound = std::make_shared<const std::vector<int16_t>>(o.audio_in.empty() ? DoorChime() : o.audio_in);
  auto connections = std::make_shared<std::atomic<uint32_t>>(0);
  http.Get("/axis-cgi/audio/receive.cgi", [&context, sound, connections](const httplib::Request& req,
                                                                         httplib::Response& res) {
    // Counted until the stream ends, not only while this handler runs.
    auto scope = std::make_shared<Context::RequestScope>(context, req);
    if (!context.Authorized(req, res)) return;
    const Options& options = context.options();
    if (AnswerErrorFault(options.fault, res)) return;
    switch (options.fault) {
      case Fault::kEmpty:
        res.set_content("", kAudioContentType);
        return;
      case Fault::kSlow:
        if (!context.Pause(options.slow_delay)) return;
        break;
      case Fault::kStall:
        if (options.audio_parts > 0) break;
        context.WaitUntilStopping();
        res.status = 503;
        return;
      default:
        break;
    }
    context.UpdateStats([](Stats& s) { ++s.audio_streams; });
    auto connection = std::make_shared<AudioConnection>(context, sound, connections->fetch_add(1) + 1);
    res.set_header("Connection", "close");  // the body has no length: its end is the connection's
    res.set_content_provider(kAudioContentType, [connection, scope](size_t, httplib::DataSink& sink) {
      return connection->Step(sink);
    });
  });
}

}  // namespace vantorel::camsim
