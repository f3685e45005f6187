#include "soak_counters.h"

#include <algorithm>

namespace vantorel::soak {

StationObserver Counters::Wrap(StationObserver inner) {
  return {
      .repaint =
          [this, repaint = std::move(inner.repaint)] {
            {
              std::lock_guard lock(mutex_);
              ++counts_.refreshes;
            }
            if (repaint) repaint();
          },
      .status =
          [this, status = std::move(inner.status)](StationWorker worker, const WorkerStatus& s) {
            OnStatus(worker, s);
            if (status) status(worker, s);
          },
      .microphone_failed =
          [this, failed = std::move(inner.microphone_failed)](const Failure& failure) {
            {
              std::lock_guard lock(mutex_);
              ++counts_.device_errors;
            }
            if (failed) failed(failure);
          },
      .door =
          [this, door = std::move(inner.door)](const DoorEvent& event) {
            OnDoor(event);
            if (door) door(event);
          },
  };
}

void Counters::SetStation(const Station* station) {
  std::lock_guard lock(mutex_);
  station_ = station;
}

Counts Counters::Read() const {
  std::lock_guard lock(mutex_);
  return counts_;
}

double Counters::Since(std::chrono::steady_clock::time_point t) const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

void Counters::OnDoor(const DoorEvent& event) {
  std::lock_guard lock(mutex_);
  switch (event.kind) {
    case DoorEvent::Kind::kRing:
      ++counts_.rings;
      counts_.last_ring_s = Since(start_);
      break;
    case DoorEvent::Kind::kVisitorKept: ++counts_.visitors_kept; break;
    case DoorEvent::Kind::kVisitorFailed: ++counts_.visitors_failed; break;
    default: break;
  }
}

void Counters::Follow(DropWatch& watch, WorkerState state, Drops& drops) {
  const bool left_running =
      watch.state == WorkerState::kRunning && (state == WorkerState::kFailed || state == WorkerState::kConnecting);
  if (left_running) {
    ++drops.drops;
    watch.dropped = true;
    watch.dropped_at = std::chrono::steady_clock::now();
    drops.last_drop_s = Since(start_);
  } else if (state == WorkerState::kRunning && watch.dropped) {
    ++drops.recoveries;
    drops.longest_recovery_s = std::max(drops.longest_recovery_s, Since(watch.dropped_at));
    watch.dropped = false;
  }
  watch.state = state;
}

void Counters::OnStatus(StationWorker worker, const WorkerStatus& s) {
  std::lock_guard lock(mutex_);
  if (worker == StationWorker::kPicture) {
    if (s.state == WorkerState::kFailed && picture_state_ != WorkerState::kFailed) ++counts_.failed_stills;
    picture_state_ = s.state;
  } else if (worker == StationWorker::kListen) {
    Follow(listen_, s.state, counts_.sound);
  } else if (worker == StationWorker::kDoor) {
    Follow(monitor_, s.state, counts_.monitor);
  } else if (worker == StationWorker::kTalk) {
    // A run ends in idle (the job sets the report before that is published).
    if (s.state == WorkerState::kIdle && talk_state_ != WorkerState::kIdle && station_) {
      ++counts_.talks_ended;
      const TransmitReport report = station_->LastTalkReport();
      if (report.Succeeded()) {
        ++counts_.talks_taken;
      } else {
        counts_.last_refused_talk = std::string(FailureName(report.failure.reason)) + ", answer " +
                                    std::to_string(report.answer) + ": " + report.failure.detail;
      }
    }
    talk_state_ = s.state;
  }
}

}  // namespace vantorel::soak
