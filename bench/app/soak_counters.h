#pragma once
// What the soak run counts through the station's observer: pictures shown, the sound
// stream's drops and recoveries (and the longest time from a drop back to running), and the
// talks the camera took. The counting runs on the workers' threads, then the window's own
// callbacks run as usual.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "station/station.h"

namespace vantorel::soak {

// A stream's drops: leaving running (failed or connecting), and coming back to running.
struct Drops {
  int drops = 0;
  int recoveries = 0;
  double longest_recovery_s = 0;  // the longest drop, so far
  double last_drop_s = -1;        // when the last drop happened, seconds after the start; -1: none
};

struct Counts {
  int64_t refreshes = 0;           // the observer's repaint requests: new pictures and failed stills
  int64_t failed_stills = 0;       // the picture worker going to failed (a refused still, say)
  Drops sound;                     // the sound stream
  Drops monitor;                   // the door's monitor stream
  int talks_ended = 0;
  int talks_taken = 0;             // of which the camera took (TransmitReport::Succeeded)
  std::string last_refused_talk;   // why the last talk not taken failed
  int device_errors = 0;           // error boxes the station asked for
  // The door: rings seen, the visitors' stills kept (or not).
  int rings = 0;
  double last_ring_s = -1;
  int visitors_kept = 0;
  int visitors_failed = 0;
};

class Counters {
 public:
  Counters() : start_(std::chrono::steady_clock::now()) {}
  Counters(const Counters&) = delete;
  Counters& operator=(const Counters&) = delete;

  // The observer to give the station: counts, then calls `inner`. Holds `this`, so the
  // counters must outlive the station.
  StationObserver Wrap(StationObserver inner);
  // Where a finished talk's report is read; set once the station exists.
  void SetStation(const Station* station);
  Counts Read() const;

 private:
  // Follows one stream's worker states into its Drops.
  struct DropWatch {
    WorkerState state = WorkerState::kIdle;
    bool dropped = false;
    std::chrono::steady_clock::time_point dropped_at{};
  };
  void OnStatus(StationWorker worker, const WorkerStatus& status);
  void OnDoor(const DoorEvent& event);
  void Follow(DropWatch& watch, WorkerState state, Drops& drops);
  double Since(std::chrono::steady_clock::time_point t) const;

  const std::chrono::steady_clock::time_point start_;
  mutable std::mutex mutex_;
  Counts counts_;                                        // guarded by mutex_
  const Station* station_ = nullptr;                     // guarded by mutex_
  WorkerState picture_state_ = WorkerState::kIdle;       // guarded by mutex_
  WorkerState talk_state_ = WorkerState::kIdle;          // guarded by mutex_
  DropWatch listen_;                                     // guarded by mutex_
  DropWatch monitor_;                                    // guarded by mutex_
};

}  // namespace vantorel::soak
