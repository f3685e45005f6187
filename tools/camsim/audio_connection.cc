#include "camsim/audio_connection.h"

#include <utility>

#include "camsim/audio_stream.h"
#include "camsim/endpoints.h"

namespace vantorel::camsim {

using Clock = std::chrono::steady_clock;

AudioConnection::AudioConnection(Context& context, std::chrono::microseconds interval, PartMaker make)
    : context_(context), options_(context.options()), interval_(interval), make_(std::move(make)),
      next_due_(Clock::now()) {}

bool AudioConnection::Step(httplib::DataSink& sink) {
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
        const AudioPart part = make_(sent_);
        Write(sink, std::string_view(part.bytes).substr(0, part.bytes.size() / 2), part.cuts);
        return false;
      }
      default:
        // Closing the connection ends a body without length; httplib would otherwise
        // keep the connection open for the next request and the client would wait.
        return false;
    }
  }
  if (sent_ > 0) {
    next_due_ += interval_;
    const auto wait = next_due_ - Clock::now();
    if (wait > Clock::duration::zero() && !context_.Pause(wait)) return false;
  }
  const AudioPart part = make_(sent_);
  ++sent_;
  return Write(sink, part.bytes, part.cuts);
}

bool AudioConnection::Write(httplib::DataSink& sink, std::string_view bytes, const std::vector<size_t>& cuts) {
  if (options_.fault == Fault::kDrip) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (i > 0 && !context_.Pause(options_.drip_gap)) return false;
      if (!sink.write(bytes.data() + i, 1)) return false;
    }
    return true;
  }
  if (!(options_.audio_faults & kAudioSplit)) return sink.write(bytes.data(), bytes.size());
  size_t at = 0;
  for (size_t cut : cuts) {
    if (cut <= at || cut >= bytes.size()) continue;
    if (!sink.write(bytes.data() + at, cut - at) || !context_.Pause(options_.drip_gap)) return false;
    at = cut;
  }
  return sink.write(bytes.data() + at, bytes.size() - at);
}

bool StartAudioAnswer(Context& context, httplib::Response& res, const char* content_type) {
  const Options& options = context.options();
  if (AnswerErrorFault(options.fault, res)) return false;
  switch (options.fault) {
    case Fault::kEmpty:
      res.set_content("", content_type);
      return false;
    case Fault::kSlow:
      return context.Pause(options.slow_delay);
    case Fault::kStall:
      if (options.audio_parts > 0) return true;
      context.WaitUntilStopping();
      res.status = 503;
      return false;
    default:
      return true;
  }
}

}  // namespace vantorel::camsim
