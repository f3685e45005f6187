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
// The newer firmware's stream (audio_current.cc) is shaped the same way.
// With Options::echo, what the talks play comes back in the sound (echo_loop.h).

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "camsim/audio_connection.h"
#include "camsim/audio_stream.h"
#include "camsim/endpoints.h"

namespace vantorel::camsim {

namespace {

// The design's parts of one connection: "--myboundary", the type (with
// --length-after-type a Content-Length after it), 200 bytes of G.726, CRLF; with the
// garbage fault junk before each.
AudioConnection::PartMaker DesignParts(Context& context, std::shared_ptr<const std::vector<int16_t>> sound,
                                       uint32_t seed) {
  const Options& options = context.options();
  std::string header(kPartHeader);
  if (options.current.length_after_type) header.insert(header.size() - 2, "Content-Length: 200\r\n");
  const size_t type_cut = header.find("KADPCM");  // inside the marker: "audio/32" | "KADPCM..."
  auto frames = std::make_shared<AudioFrames>(std::move(sound), options.audio_faults);
  return [&context, faults = options.audio_faults, header, type_cut, frames, seed](int index) {
    AudioPart p;
    std::string& part = p.bytes;
    const auto sent = static_cast<uint32_t>(index);
    if (faults & kAudioGarbage) part = GarbageBetweenParts(seed * 7919u + sent);
    const size_t start = part.size();
    p.cuts.push_back(start + 7);  // inside the boundary line
    part += header;
    p.cuts.push_back(start + type_cut);
    p.cuts.push_back(part.size() - 1);  // before the blank line's last byte
    p.cuts.push_back(part.size());      // between the marker and the audio
    // The part holds the microphone's last 50 ms, the loudspeaker's echo among them.
    const auto frame = frames->Next([&context](std::span<int16_t> heard) {
      context.echo().MixInto(heard, std::chrono::steady_clock::now() -
                                        std::chrono::milliseconds(kPartSamples * 1000 / kAudioRate));
    });
    part.append(reinterpret_cast<const char*>(frame.data()), frame.size());
    p.cuts.push_back(part.size() - 1 - (seed + sent) % 150);  // inside the audio
    p.cuts.push_back(part.size());  // before the part's closing line end
    part += "\r\n";
    return p;
  };
}

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
    if (!StartAudioAnswer(context, res, kAudioContentType)) return;
    const Options& options = context.options();
    context.UpdateStats([](Stats& s) { ++s.audio_streams; });
    auto connection = std::make_shared<AudioConnection>(
        context, options.audio_part_interval, DesignParts(context, sound, connections->fetch_add(1) + 1));
    res.set_header("Connection", "close");  // the body has no length: its end is the connection's
    res.set_content_provider(kAudioContentType, [connection, scope](size_t, httplib::DataSink& sink) {
      return connection->Step(sink);
    });
  });
}

}  // namespace vantorel::camsim
