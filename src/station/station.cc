#include "station/station.h"

#include <thread>

#include "image/image_worker.h"
#include "net/url.h"
#include "station/camera_params.h"
#include "station/retry_loop.h"

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
      talk_("vantorel-tx", ObserverFor(observer_, StationWorker::kTalk)),
      door_(settings_, devices_.output, observer_.door, ObserverFor(observer_, StationWorker::kDoor)) {}

Station::~Station() {
  // The talk's body ends on the ring's stop; the workers' own destructors (first among the
  // members) then cancel and join whatever still runs.
  StopTalk();
}

void Station::StartPicture() {
  picture_.Start([this](WorkerContext& context) { PictureJob(context); });
}

void Station::StopPicture() { picture_.RequestStop(); }

void Station::PictureJob(WorkerContext& context) {
  // One kept connection (and sign-in) and one body buffer for the run's stills.
  PictureRefresher refresher(image_, context.cancel());
  refresher.RememberSignIns(&sign_ins_);
  // A stream's frames are shown as stills are, one after another within one attempt.
  refresher.OnStreamFrame([&] {
    context.Report(WorkerState::kRunning);
    if (observer_.repaint) observer_.repaint();
    return !context.StopRequested();
  });
  context.Report(WorkerState::kConnecting);
  RunRetryLoop(context, {.endpoint = Endpoint::kPicture,
                         .policy = kPicturePolicy,
                         .retry = true,
                         .repeat = true,
                         .min_interval = kPictureInterval,
                         .attempt = [&] {
                           const Failure failure = refresher.Refresh(settings_.GetImageUrl());
                           if (!failure.failed() && failure.reason != FailureReason::kStopped) {
                             context.Report(WorkerState::kRunning);
                           }
                           if (observer_.repaint && failure.reason != FailureReason::kStopped) observer_.repaint();
                           std::this_thread::yield();
                           return failure;
                         }});
}

void Station::StartListening(SoundSink sink, ListenOptions options) {
  if (!sink.open) sink = PlaybackSink(playback_, devices_.output);
  listen_.Start([this, sink = std::move(sink), options](WorkerContext& context) { ListenJob(context, sink, options); });
}

void Station::StopListening() { listen_.RequestStop(); }

namespace {

// A listener that reconnects counts a silence of this long as a lost stream.
constexpr long kListenStallSeconds = 3;

}  // namespace

void Station::ListenJob(WorkerContext& context, const SoundSink& sink, const ListenOptions& options) {
  SoundSink reporting = sink;
  bool output_opened = false;  // this run's output opened once: a later refusal is its being busy
  reporting.open = [&context, &output_opened, open = sink.open] {
    if (!open()) return false;
    output_opened = true;
    context.Report(WorkerState::kRunning);
    return true;
  };
  const ReceiveOptions receive{.stall_seconds = options.reconnect ? kListenStallSeconds : 0,
                               .too_fast = options.too_fast,
                               .sign_ins = &sign_ins_};
  RunRetryLoop(context, {.endpoint = Endpoint::kSound,
                         .policy = kStreamPolicy,
                         .retry = options.reconnect,
                         .final_ends = true,
                         .attempt = [&] {
                           context.Report(WorkerState::kConnecting);
                           Failure failure =
                               ReceiveWorker(context.cancel(), settings_.GetReceiveUrl(), reporting, receive);
                           // The camera ended the stream: for a listener that stays on, the
                           // sound was lost.
                           if (failure.reason == FailureReason::kNone && options.reconnect) {
                             failure = {FailureReason::kConnectionLost, 0, "the stream ended"};
                           }
                           return failure;
                         },
                         // An output that played this run and does not open again after a
                         // drop is held by another sound (a ring's chime on a device that
                         // opens once): it is asked again with the pauses, not given up.
                         .passing = [&output_opened](const Failure& f) {
                           return f.reason == FailureReason::kNoAudioDevice && output_opened;
                         }});
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
    FarEndRing* far_end = echo_cancel_.load(std::memory_order_relaxed) ? &far_end_ : nullptr;
    if (!microphone_.Open(error, devices_.input, far_end, {.delay_ms = kTalkEchoDelayMs}) &&
        observer_.microphone_failed) {
      observer_.microphone_failed({FailureReason::kNoAudioDevice, 0, error});
    }
  }
  // A failure is shown as it happens; a talk that does not reconnect goes on until the stop.
  const TalkFailed shown = [&context](const Failure& failure) {
    context.ReportFailure(ClassifyFailure(Endpoint::kTalk, failure));
  };
  bool again = false;
  int parts = 0;  // taken by the camera over all of the talk's requests
  RunRetryLoop(context, {.endpoint = Endpoint::kTalk,
                         .policy = kStreamPolicy,
                         .retry = options.reconnect,
                         .final_ends = true,
                         .attempt = [&] {
                           // A talk that comes back drops what was captured while it was
                           // away, once the camera has taken the new request.
                           const std::string url = settings_.GetTransmitUrl();
                           const TransmitReport report = RunTransmit(context, ring_, url,
                                                                     {.format = TalkFormatFor(context, url),
                                                                      .end_on_failure = options.reconnect,
                                                                      .discard_waiting_when_sent = again,
                                                                      .sign_ins = &sign_ins_},
                                                                     shown);
                           again = true;
                           parts += report.parts;
                           {
                             std::lock_guard lock(report_mutex_);
                             last_talk_ = report;
                             last_talk_.parts = parts;
                             last_talk_.failure = ClassifyFailure(Endpoint::kTalk, report.failure);
                           }
                           return report.failure;
                         }});
  microphone_.Close();
  ReleaseAudioThreadState();
}

void Station::StopTalk() {
  // In this order: a talk job that is just starting either sees the request or resets the
  // ring before the stop below lands.
  talk_.RequestStop(kTransmitCancelAfter);
  ring_.SetTransmitStop();
}

void Station::SetDialect(CameraDialect dialect) {
  std::lock_guard lock(dialect_mutex_);
  dialect_ = dialect;
}

TalkFormat Station::TalkFormatFor(WorkerContext& context, const std::string& url) {
  const std::string camera = CameraKey(url);
  {
    std::lock_guard lock(dialect_mutex_);
    if (dialect_ == CameraDialect::kDesign) return TalkFormat::kDesignMultipart;
    if (dialect_ == CameraDialect::kCurrent) return TalkFormat::kMuLaw;
    if (const auto known = formats_.find(camera); known != formats_.end()) return known->second;
  }
  ParamList params;
  const Failure failure = FetchCameraParams(url, kSoundParamGroups, context.cancel(), params, &sign_ins_);
  // A camera without param.cgi speaks the design's dialect; one that could not be asked
  // (unreachable now) is asked again next time.
  const bool answered = !failure.failed() || failure.reason == FailureReason::kErrorStatus;
  const TalkFormat format = failure.failed() ? TalkFormat::kDesignMultipart : TalkFormatFromParams(params);
  if (answered && failure.http_status != 401 && failure.http_status != 403) {
    std::lock_guard lock(dialect_mutex_);
    formats_[camera] = format;
  }
  return format;
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
    case StationWorker::kDoor:
      return door_.watch();
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
  const bool door = door_.WaitIdle(deadline);
  return picture && listen && talk && door;
}

}  // namespace vantorel
