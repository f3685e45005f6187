#include "station/station.h"

#include <algorithm>

#include "image/image_worker.h"

namespace vantorel {

namespace {

WorkerObserver ObserverFor(const StationObserver& observer, StationWorker worker) {
  if (!observer.status) return {};
  return [status = observer.status, worker](const WorkerStatus& s) { status(worker, s); };
}

}  // namespace

Station::Station(StationObserver observer, StationDevices devices)
    : observer_(std::move(observer)),
      devices_(std::move(devices)),
      picture_("vantorel-pic", ObserverFor(observer_, StationWorker::kPicture)),
      listen_("vantorel-rx", ObserverFor(observer_, StationWorker::kListen)),
      talk_("vantorel-tx", ObserverFor(observer_, StationWorker::kTalk)) {}

Station::~Station() {
  // The talk's body ends on the ring's stop; the workers' own destructors (first among the
  // members) then cancel and join whatever still runs.
  StopTalk();
}

void Station::StartPicture() {
  picture_.Start([this](WorkerContext& context) {
    RunPictureWorker(context, {.image = &image_,
                               .url = [this] { return settings_.GetImageUrl(); },
                               .repaint = observer_.repaint});
  });
}

void Station::StopPicture() { picture_.RequestStop(); }

void Station::StartListening(FrameSink sink, ListenOptions options) {
  if (!sink.open) sink = PlaybackSink(playback_, devices_.output);
  listen_.Start([this, sink = std::move(sink), options](WorkerContext& context) { ListenJob(context, sink, options); });
}

void Station::StopListening() { listen_.RequestStop(); }

namespace {

// The pause before coming back after an unexpected end, for listening and a talk alike:
// 0.5 s, doubling up to 8 s, back to 0.5 s after an attempt that ran for a minute.
class ReconnectPause {
 public:
  std::chrono::milliseconds After(std::chrono::steady_clock::time_point attempt_began) {
    if (std::chrono::steady_clock::now() - attempt_began >= kGoodRunning) next_ = kFirst;
    const auto pause = next_;
    next_ = std::min(next_ * 2, kMost);
    return pause;
  }

 private:
  static constexpr std::chrono::milliseconds kFirst{500};
  static constexpr std::chrono::milliseconds kMost{8000};
  static constexpr std::chrono::seconds kGoodRunning{60};
  std::chrono::milliseconds next_ = kFirst;
};
constexpr long kListenStallSeconds = 3;

// Ends that retrying cannot mend: they are shown instead.
bool Final(FailureReason reason) {
  return reason == FailureReason::kSignInRefused || reason == FailureReason::kNotFound ||
         reason == FailureReason::kNoAudioDevice;
}

}  // namespace

void Station::ListenJob(WorkerContext& context, const FrameSink& sink, const ListenOptions& options) {
  FrameSink reporting = sink;
  reporting.open = [&context, open = sink.open] {
    if (!open()) return false;
    context.Report(WorkerState::kRunning);
    return true;
  };
  const ReceiveOptions receive{.stall_seconds = options.reconnect ? kListenStallSeconds : 0};
  ReconnectPause pause;
  for (;;) {
    context.Report(WorkerState::kConnecting);
    const auto began = std::chrono::steady_clock::now();
    std::string failure;
    Failure outcome;
    const int code = ReceiveWorker(context.cancel(), settings_.GetReceiveUrl(), reporting, &failure, &outcome, receive);
    if (context.StopRequested()) break;
    if (code < 0 && !outcome.failed()) outcome = {FailureReason::kCannotConnect, 0, failure};
    if (outcome.failed()) {
      context.ReportFailure(outcome);
    } else if (options.reconnect) {
      // The camera ended the stream: for a listener that stays on, the sound was lost.
      context.ReportFailure({FailureReason::kConnectionLost, 0, "the stream ended"});
    }
    if (!options.reconnect || Final(outcome.reason)) break;
    if (context.WaitForStop(pause.After(began))) break;
  }
  ReleaseAudioThreadState();  // the sessions' outputs were opened and closed on this thread
}

void Station::StartTalk(TalkOptions options) {
  talk_.Start([this, options](WorkerContext& context) { TalkJob(context, options); });
}

void Station::TalkJob(WorkerContext& context, const TalkOptions& options) {
  // A talk before this one has ended (runs never overlap), so the ring's state is ours. A
  // stop requested before this point has set kStop already or will after RequestStop.
  ring_.ClearTransmitStop();
  if (context.StopRequested()) ring_.SetTransmitStop();
  if (options.open_microphone) {
    std::string error;
    if (!microphone_.Open(error, devices_.input) && observer_.error) observer_.error("waveInOpen", error);
  }
  ReconnectPause pause;
  for (;;) {
    const auto began = std::chrono::steady_clock::now();
    const TransmitReport report =
        RunTransmit(context, ring_, settings_.GetTransmitUrl(), {.end_on_failure = options.reconnect});
    {
      std::lock_guard lock(report_mutex_);
      last_talk_ = report;
    }
    if (context.StopRequested() || !options.reconnect || Final(report.failure.reason)) break;
    if (context.WaitForStop(pause.After(began))) break;
    ring_.DiscardWaiting();
  }
  microphone_.Close();
  ReleaseAudioThreadState();
}

void Station::StopTalk() {
  // In this order: a talk job that is just starting either sees the request or resets the
  // ring before the stop below lands.
  talk_.RequestStop(kTransmitCancelAfter);
  ring_.SetTransmitStop();
}

TransmitReport Station::LastTalkReport() const {
  std::lock_guard lock(report_mutex_);
  return last_talk_;
}

StoppableWorker& Station::Worker(StationWorker worker) {
  switch (worker) {
    case StationWorker::kPicture:
      return picture_;
    case StationWorker::kListen:
      return listen_;
    case StationWorker::kTalk:
      break;
  }
  return talk_;
}

const StoppableWorker& Station::Worker(StationWorker worker) const {
  return const_cast<Station*>(this)->Worker(worker);
}

WorkerStatus Station::Status(StationWorker worker) const { return Worker(worker).status(); }

bool Station::WaitStopped(StationWorker worker, std::chrono::steady_clock::time_point deadline) {
  return Worker(worker).WaitStopped(deadline);
}

bool Station::WaitIdle(std::chrono::steady_clock::time_point deadline) {
  // Each wait is bounded by the same deadline, so the whole call is too.
  const bool picture = picture_.WaitStopped(deadline);
  const bool listen = listen_.WaitStopped(deadline);
  const bool talk = talk_.WaitStopped(deadline);
  return picture && listen && talk;
}

}  // namespace vantorel
