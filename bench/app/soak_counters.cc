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

void Counters::OnStatus(StationWorker worker, const WorkerStatus& s) {
  std::lock_guard lock(mutex_);
  if (worker == StationWorker::kDoor) {
    const bool left_running = door_state_ == WorkerState::kRunning && s.state != WorkerState::kRunning &&
                              s.state != WorkerState::kIdle;
    if (left_running) {
      ++counts_.monitor_drops;
      monitor_dropped_ = true;
      monitor_dropped_at_ = std::chrono::steady_clock::now();
      counts_.last_monitor_drop_s = Since(start_);
    } else if (s.state == WorkerState::kRunning && monitor_dropped_) {
      ++counts_.monitor_recoveries;
      counts_.longest_monitor_recovery_s = std::max(counts_.longest_monitor_recovery_s, Since(monitor_dropped_at_));
      monitor_dropped_ = false;
    }
    door_state_ = s.state;
    return;
  }
  if (worker == StationWorker::kPicture) {
    if (s.state == WorkerState::kFailed && picture_state_ != WorkerState::kFailed) ++counts_.failed_stills;
    picture_state_ = s.state;
  } else if (worker == StationWorker::kListen) {
    const bool left_running = listen_state_ == WorkerState::kRunning &&
                              (s.state == WorkerState::kFailed || s.state == WorkerState::kConnecting);
    if (left_running) {
      ++counts_.drops;
      dropped_ = true;
      dropped_at_ = std::chrono::steady_clock::now();
      counts_.last_drop_s = Since(start_);
    } else if (s.state == WorkerState::kRunning && dropped_) {
      ++counts_.recoveries;
      counts_.longest_recovery_s = std::max(counts_.longest_recovery_s, Since(dropped_at_));
      dropped_ = false;
    }
    listen_state_ = s.state;
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
