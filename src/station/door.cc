#include "station/door.h"

#include <algorithm>

#include "door/chime.h"
#include "door/visitors.h"
#include "runtime/log.h"
#include "sound_io/sound_format.h"
#include "station/retry_loop.h"

namespace vantorel {

namespace {

static_assert(kChimeRate == kAudioSampleRate, "the chime is made for the output's rate");

// The chime goes to the output in pieces of 100 ms, at most this many waiting there.
constexpr size_t kChimePiece = 800;
constexpr int kChimeAhead = 8;
constexpr std::chrono::milliseconds kChimePoll{20};

using Clock = std::chrono::steady_clock;

// A visitor's still: up to three tries, 300 ms apart, when the failure may pass.
constexpr int kVisitorAttempts = 3;
constexpr std::chrono::milliseconds kVisitorRetryPause{300};

bool IsPassingFailure(FailureReason reason) {
  return reason == FailureReason::kCameraBusy || reason == FailureReason::kCannotConnect ||
         reason == FailureReason::kNoAnswer || reason == FailureReason::kConnectionLost ||
         reason == FailureReason::kTooSlow;
}

}  // namespace

DoorOptions DoorOptionsFrom(const DoorSettings& door) {
  DoorOptions options;
  options.button = door.button;
  options.quiet = door.quiet;
  options.chime = door.chime;
  return options;
}

bool InQuietHours(const std::optional<QuietHours>& quiet, std::time_t when) {
  std::tm local{};
  if (!quiet || !localtime_r(&when, &local)) return false;
  return quiet->Contains(local.tm_hour * 60 + local.tm_min);
}

Door::Door(CameraSettings& settings, AudioOutputOpener output, Observer observer, WorkerObserver watch_status)
    : settings_(settings),
      output_(std::move(output)),
      observer_(std::move(observer)),
      chime_("vantorel-chime"),
      visitor_("vantorel-visit"),
      opener_("vantorel-open"),
      watch_("vantorel-door", std::move(watch_status)) {}

Door::~Door() = default;

void Door::Tell(DoorEvent event) const {
  if (observer_) observer_(event);
}

void Door::Start(const DoorOptions& options) {
  watch_.RequestStop();
  if (options.button <= 0) return;
  // A run that is still ending is waited for by the new one, on its own thread.
  watch_.Start([this, options](WorkerContext& context) { WatchJob(context, options); });
}

void Door::Stop() {
  watch_.RequestStop();
  chime_.RequestStop();
  visitor_.RequestStop();
}

void Door::Open(int port, int ms) {
  const bool started = opener_.Start([this, port, ms](WorkerContext& context) { OpenJob(context, port, ms); });
  if (!started) {
    Tell({.kind = DoorEvent::Kind::kOpenFailed, .port = port, .at = Clock::now(),
          .wall = std::chrono::system_clock::now(), .path = {},
          .failure = {FailureReason::kLocalFailure, 0, "a pulse is under way"}});
  }
}

bool Door::WaitIdle(std::chrono::steady_clock::time_point deadline) {
  const bool watch = watch_.WaitStopped(deadline);
  const bool chime = chime_.WaitStopped(deadline);
  const bool visitor = visitor_.WaitStopped(deadline);
  const bool opener = opener_.WaitStopped(deadline);
  return watch && chime && visitor && opener;
}

void Door::WatchJob(WorkerContext& context, const DoorOptions& options) {
  std::shared_ptr<const std::vector<int16_t>> chime;
  if (options.chime_enabled) {
    std::vector<int16_t> samples;
    std::string error;
    if (!options.chime.empty() && !LoadChime(options.chime, samples, error)) {
      LogFailure("door chime: %s; our own chime instead", error.c_str());
      samples.clear();
    }
    if (samples.empty()) samples = OwnChime();
    chime = std::make_shared<const std::vector<int16_t>>(std::move(samples));
  }
  const std::string visitors_dir = options.visitors_dir.empty() ? VisitorsDirectory() : options.visitors_dir;
  MonitorState state;
  CallButton button(options.button);  // kept across reconnections
  const MonitorHooks hooks{
      .opened = [&context] { context.Report(WorkerState::kRunning); },
      .event =
          [&](const IoEvent& event) {
            if (button.Pressed(event)) Ring(options, chime, visitors_dir, event.port);
          },
  };
  RunRetryLoop(context, {.endpoint = Endpoint::kButton,
                         .policy = kButtonPolicy,
                         .retry = true,
                         .final_ends = true,
                         .attempt = [&] {
                           context.Report(WorkerState::kConnecting);
                           std::string why;
                           const auto base = CameraBase(settings_.GetImageUrl(), &why);
                           if (!base) return Failure{FailureReason::kCannotConnect, 0, why};
                           Failure failure = WatchInputs(context.cancel(), *base, options.button, state, hooks,
                                                         {.stall_seconds = options.stall_seconds});
                           // The camera ended the stream: for a watch that stays on, it was lost.
                           if (failure.reason == FailureReason::kNone) {
                             failure = {FailureReason::kConnectionLost, 0, "the camera ended the stream"};
                           }
                           return failure;
                         }});
}

void Door::Ring(const DoorOptions& options, const std::shared_ptr<const std::vector<int16_t>>& chime,
                const std::string& visitors_dir, int port) {
  const auto wall = std::chrono::system_clock::now();
  const std::time_t when = std::chrono::system_clock::to_time_t(wall);
  const bool chiming = chime && !InQuietHours(options.quiet, when);
  Tell({.kind = DoorEvent::Kind::kRing, .port = port, .at = Clock::now(), .wall = wall, .path = {}, .failure = {},
        .chime = chiming});
  // A chime or a still still under way from a ring just before goes on; no second one.
  if (chiming) chime_.Start([this, chime](WorkerContext& context) { ChimeJob(context, chime); });
  if (options.keep_visitors) {
    visitor_.Start([this, visitors_dir, when](WorkerContext& context) { VisitorJob(context, visitors_dir, when); });
  }
}

void Door::ChimeJob(WorkerContext& context, const std::shared_ptr<const std::vector<int16_t>>& samples) {
  std::string error;
  std::unique_ptr<AudioOutput> output = output_ ? output_(error) : nullptr;
  const auto ended = [this] {
    ReleaseAudioThreadState();
    Tell({.kind = DoorEvent::Kind::kChimeEnded, .port = 0, .at = Clock::now(),
          .wall = std::chrono::system_clock::now(), .path = {}, .failure = {}});
  };
  if (!output) {
    LogFailure("door chime: no sound output: %s", error.c_str());
    ended();
    return;
  }
  const std::vector<int16_t>& sound = *samples;
  // Bounded even if the output never plays what it was given.
  const auto give_up = Clock::now() + std::chrono::milliseconds(sound.size() * 1000 / kChimeRate) +
                       std::chrono::seconds(2);
  size_t at = 0;
  while (!context.StopRequested() && Clock::now() < give_up) {
    if (at < sound.size() && output->PendingWrites() < kChimeAhead) {
      const size_t n = std::min(kChimePiece, sound.size() - at);
      if (!output->Write(std::span(sound).subspan(at, n))) break;
      if (at == 0) {
        Tell({.kind = DoorEvent::Kind::kChimeStarted, .port = 0, .at = Clock::now(),
              .wall = std::chrono::system_clock::now(), .path = {}, .failure = {}, .chime = true});
      }
      at += n;
      continue;
    }
    if (at >= sound.size() && output->PendingWrites() == 0) break;
    context.WaitForStop(kChimePoll);
  }
  output.reset();
  ended();
}

void Door::VisitorJob(WorkerContext& context, const std::string& dir, std::time_t when) {
  DoorEvent event{.kind = DoorEvent::Kind::kVisitorFailed, .port = 0, .at = {}, .wall = std::chrono::system_clock::from_time_t(when),
                  .path = {}, .failure = {}};
  std::vector<uint8_t> jpeg;
  const std::string url = settings_.GetImageUrl();
  // A busy camera (503) or a broken connection is asked again: the visitor is still at the
  // door a moment later, and one refused still would lose their picture for good.
  for (int attempt = 1;; ++attempt) {
    event.failure = ClassifyFailure(Endpoint::kPicture, FetchVisitorJpeg(context.cancel(), url, jpeg));
    if (event.failure.reason == FailureReason::kStopped) return;
    if (!event.failure.failed() || attempt == kVisitorAttempts || !IsPassingFailure(event.failure.reason)) break;
    if (context.WaitForStop(kVisitorRetryPause)) return;
  }
  if (!event.failure.failed()) {
    std::string error;
    if (KeepVisitor(dir, jpeg, when, event.path, error)) {
      event.kind = DoorEvent::Kind::kVisitorKept;
    } else {
      event.failure = {FailureReason::kLocalFailure, 0, error};
    }
  }
  if (event.failure.failed()) LogFailure("door: no visitor's picture: %s %s", FailureName(event.failure.reason), event.failure.detail.c_str());
  event.at = Clock::now();
  Tell(event);
}

void Door::OpenJob(WorkerContext& context, int port, int ms) {
  DoorEvent event{.kind = DoorEvent::Kind::kOpened, .port = port, .at = {}, .wall = {}, .path = {}, .failure = {}};
  std::string why;
  const auto base = CameraBase(settings_.GetImageUrl(), &why);
  event.failure = base ? ClassifyFailure(Endpoint::kOpener, PulseOutput(context.cancel(), *base, port, ms))
                       : Failure{FailureReason::kCannotConnect, 0, why};
  if (event.failure.reason == FailureReason::kStopped) return;
  if (event.failure.failed()) event.kind = DoorEvent::Kind::kOpenFailed;
  event.at = Clock::now();
  event.wall = std::chrono::system_clock::now();
  Tell(event);
}

}  // namespace vantorel
