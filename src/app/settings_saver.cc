#include "app/settings_saver.h"

#include "app/error_boxes.h"

namespace vantorel {

SettingsSaver::SettingsSaver(CameraSettings& settings, Done done) : settings_(settings), done_(std::move(done)) {}

SettingsSaver::~SettingsSaver() {
  if (thread_.joinable()) thread_.join();
}

void SettingsSaver::Save() {
  std::lock_guard lock(mutex_);
  if (running_) {
    again_ = true;
    return;
  }
  running_ = true;
  // A thread that said it has finished only has its return left.
  if (thread_.joinable()) thread_.join();
  thread_ = std::thread([this] { Run(); });
}

void SettingsSaver::Run() {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      again_ = false;
    }
    CameraSettings::SaveReport report;
    settings_.SaveParameters(&report);
    // Queued to this object: dropped, not run, if it is gone before the window thread
    // gets to it.
    QMetaObject::invokeMethod(
        this, [this, report] { done_(report); }, Qt::QueuedConnection);
    std::lock_guard lock(mutex_);
    if (!again_) {
      running_ = false;
      return;
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
