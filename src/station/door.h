#pragma once
// The door's workers, owned by the station:
// - the watch: the call button's monitor stream kept open (signed in as the camera asks,
//   back after a drop with the streams' pauses, lost when silent past the heartbeat); each
//   press is a ring;
// - the chime: a ring's sound on its own output (not during quiet hours); its end is told,
//   so that the window can start the camera's sound after it rather than open a second
//   output beside it (many sound systems have one);
// - the visitor: a ring's still, kept as the camera sent it in the visitors' folder;
// - the opener: one pulse of the door opener's output, only when asked.
// A ring is reported first, then the chime and the still are started, so that the window
// hears of it before anything else is done. Starts and stops return at once.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "door/camera_io.h"
#include "runtime/failure.h"
#include "runtime/stoppable_worker.h"
#include "settings/camera_settings.h"
#include "settings/station_ini.h"
#include "sound_io/audio_output.h"

namespace vantorel {

struct DoorOptions {
  int button = 0;                    // input port of the call button; 0: nothing is watched
  std::optional<QuietHours> quiet;   // no chime then (local time); the ring is still reported
  std::string chime;                 // a WAV file; empty (or unreadable): our own chime
  bool chime_enabled = true;
  bool keep_visitors = true;
  std::string visitors_dir;          // empty: VisitorsDirectory()
  long stall_seconds = kMonitorStallSeconds;
};

// What the door tells its owner; on the door's threads, like StationObserver's calls.
struct DoorEvent {
  enum class Kind {
    kRing,           // the call button was pressed
    kChimeStarted,   // the chime's first samples went to the output
    kChimeEnded,     // the chime has ended (played, stopped, or no output could be opened)
    kVisitorKept,    // `path` holds the ring's still
    kVisitorFailed,  // `failure` says why no still was kept
    kOpened,         // the door opener's output was pulsed
    kOpenFailed,     // `failure` says why not
  };
  Kind kind = Kind::kRing;
  int port = 0;
  std::chrono::steady_clock::time_point at{};    // when it happened here
  std::chrono::system_clock::time_point wall{};  // the same, for showing (the ring's time)
  std::string path;
  Failure failure;
  bool chime = false;  // kRing: a chime plays for it (kChimeEnded follows)
};

// The options the window runs with for `door` (vantorel.ini's [door]).
DoorOptions DoorOptionsFrom(const DoorSettings& door);

// Whether `quiet` holds at `when`, in local time.
bool InQuietHours(const std::optional<QuietHours>& quiet, std::time_t when);

class Door {
 public:
  using Observer = std::function<void(const DoorEvent&)>;

  // The camera's base comes from `settings`' image URL, at each (re)connection; the chime
  // plays on outputs that `output` opens.
  Door(CameraSettings& settings, AudioOutputOpener output, Observer observer, WorkerObserver watch_status);
  ~Door();
  Door(const Door&) = delete;
  Door& operator=(const Door&) = delete;

  // Watches options.button (restarting the watch with the new options when it runs); with
  // button 0 it only stops the watch.
  void Start(const DoorOptions& options);
  // Stops the watch, the chime and the still under way.
  void Stop();
  // Silences the chime (a talk begins: the output is the talk's).
  void StopChime() { chime_.RequestStop(); }
  // Pulses output `port` for `ms` milliseconds; its outcome comes as kOpened or kOpenFailed.
  // A pulse asked for while one is under way is refused (kOpenFailed with kLocalFailure).
  void Open(int port, int ms);

  StoppableWorker& watch() { return watch_; }
  const StoppableWorker& watch() const { return watch_; }
  // Waits until none of the door's workers runs, or the deadline.
  bool WaitIdle(std::chrono::steady_clock::time_point deadline);

 private:
  void WatchJob(WorkerContext& context, const DoorOptions& options);
  void Ring(const DoorOptions& options, const std::shared_ptr<const std::vector<int16_t>>& chime,
            const std::string& visitors_dir, int port);
  void ChimeJob(WorkerContext& context, const std::shared_ptr<const std::vector<int16_t>>& samples);
  void VisitorJob(WorkerContext& context, const std::string& dir, std::time_t when);
  void OpenJob(WorkerContext& context, int port, int ms);
  void Tell(DoorEvent event) const;

  CameraSettings& settings_;
  const AudioOutputOpener output_;
  const Observer observer_;
  // Last, so that they stop first.
  StoppableWorker chime_;
  StoppableWorker visitor_;
  StoppableWorker opener_;
  StoppableWorker watch_;
};

}  // namespace vantorel
