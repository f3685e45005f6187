#pragma once
// Saving the parameter file (and vantorel.ini's door section) off the window thread. A save writes and flushes three files;
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

#include <optional>
#include <string>

#include "settings/camera_settings.h"
#include "settings/station_ini.h"

namespace vantorel {

class ErrorBoxes;

class SettingsSaver : public QObject {
  Q_OBJECT
 public:
  // Called on the window thread with each save's report.
  using Done = std::function<void(const CameraSettings::SaveReport&)>;

  // Called on the window thread with a door save's failure (one line), only when it failed.
  using DoorDone = std::function<void(const QString& failure)>;

  SettingsSaver(CameraSettings& settings, Done done, DoorDone door_done = {});
  ~SettingsSaver() override;

  // Window thread: saves the parameter file.
  void Save();
  // Window thread: writes `door` into vantorel.ini at `path` (SaveDoorSettings). A door save
  // asked for while another waits replaces it.
  void SaveDoor(const std::string& path, const DoorSettings& door);

 private:
  struct DoorSave {
    std::string path;
    DoorSettings door;
  };
  void StartLocked();
  void Run();

  CameraSettings& settings_;
  const Done done_;
  const DoorDone door_done_;
  std::mutex mutex_;
  bool running_ = false;       // guarded by mutex_
  bool urls_waiting_ = false;  // a parameter-file save was asked for; guarded by mutex_
  std::optional<DoorSave> door_waiting_;  // guarded by mutex_
  std::thread thread_;         // window thread only
};

// The message for a save that went wrong, naming what failed; empty when nothing did.
QString SaveFailureText(const CameraSettings::SaveReport& report);

// A Done that shows each failure in an error box.
SettingsSaver::Done ShowSaveFailures(ErrorBoxes& errors);

}  // namespace vantorel
