#pragma once
// Saving the parameter file off the window thread. A save writes and flushes three files;
// on a slow or busy disk that takes long enough to freeze the window.
//
// Save() returns at once: the save runs on a short-lived thread of this object's, and its
// report comes back to the window thread. Saves never overlap: one asked for while another
// runs follows it, and saves the URLs as they are then. The destructor waits for a save
// under way, so that the URLs last confirmed reach the disk; it runs at program end, after
// the window is hidden.

#include <QObject>
#include <QString>
#include <functional>
#include <mutex>
#include <thread>

#include "settings/camera_settings.h"

namespace vantorel {

class ErrorBoxes;

class SettingsSaver : public QObject {
  Q_OBJECT
 public:
  // Called on the window thread with each save's report.
  using Done = std::function<void(const CameraSettings::SaveReport&)>;

  SettingsSaver(CameraSettings& settings, Done done);
  ~SettingsSaver() override;

  // Window thread.
  void Save();

 private:
  void Run();

  CameraSettings& settings_;
  const Done done_;
  std::mutex mutex_;
  bool running_ = false;  // guarded by mutex_
  bool again_ = false;    // a save was asked for while one ran; guarded by mutex_
  std::thread thread_;    // window thread only
};

// The message for a save that went wrong, naming what failed; empty when nothing did.
QString SaveFailureText(const CameraSettings::SaveReport& report);

// A Done that shows each failure in an error box.
SettingsSaver::Done ShowSaveFailures(ErrorBoxes& errors);

}  // namespace vantorel
