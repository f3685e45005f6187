#include "app/settings_saver.h"

#include "app/error_boxes.h"

#include <utility>

namespace vantorel {

SettingsSaver::SettingsSaver(CameraSettings& settings, Done done, DoorDone door_done)
    : settings_(settings), done_(std::move(done)), door_done_(std::move(door_done)) {}

SettingsSaver::~SettingsSaver() {
  if (thread_.joinable()) thread_.join();
}

void SettingsSaver::Save() {
  std::lock_guard lock(mutex_);
  urls_waiting_ = true;
  StartLocked();
}

void SettingsSaver::SaveDoor(const std::string& path, const DoorSettings& door) {
  std::lock_guard lock(mutex_);
  door_waiting_ = DoorSave{path, door};
  StartLocked();
}

void SettingsSaver::StartLocked() {
  if (running_) return;  // the save under way takes up what waits when it is done
  running_ = true;
  // A thread that said it has finished only has its return left.
  if (thread_.joinable()) thread_.join();
  thread_ = std::thread([this] { Run(); });
}

void SettingsSaver::Run() {
  for (;;) {
    bool urls = false;
    std::optional<DoorSave> door;
    {
      std::lock_guard lock(mutex_);
      urls = std::exchange(urls_waiting_, false);
      door = std::exchange(door_waiting_, std::nullopt);
      if (!urls && !door) {
        running_ = false;
        return;
      }
    }
    // Each report is queued to this object: dropped, not run, if it is gone before the
    // window thread gets to it.
    if (urls) {
      CameraSettings::SaveReport report;
      settings_.SaveParameters(&report);
      QMetaObject::invokeMethod(
          this, [this, report] { done_(report); }, Qt::QueuedConnection);
    }
    std::string error;
    if (door && !SaveDoorSettings(door->path, door->door, error) && door_done_) {
      QMetaObject::invokeMethod(
          this, [this, failure = QString::fromStdString(error)] { door_done_(failure); }, Qt::QueuedConnection);
    }
  }
}

QString SaveFailureText(const CameraSettings::SaveReport& report) {
  if (report.failure.empty()) return {};
  const QString why = QString::fromStdString(report.failure);
  return report.saved ? "カメラURLは保存しましたが、前の設定ファイルを残せませんでした。\n" + why
                      : "カメラURLを保存できませんでした。\n" + why;
}

SettingsSaver::Done ShowSaveFailures(ErrorBoxes& errors) {
  return [&errors](const CameraSettings::SaveReport& report) {
    const QString text = SaveFailureText(report);
    if (!text.isEmpty()) errors.Show("カメラURL", text);
  };
}

}  // namespace vantorel
