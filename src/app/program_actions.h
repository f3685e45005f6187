#pragma once
// The window's decisions wired to the station and the dialogs. Every call only asks: the
// station's workers start and stop on their own threads, and the dialogs open without a
// nested event loop.

#include <QPointer>

#include "app/window_logic.h"
#include "station/station.h"

namespace vantorel {

class DoorControl;
class MainWindow;
class SettingsSaver;

class ProgramActions : public WindowActions {
 public:
  void SetWindow(MainWindow* window) { window_ = window; }
  void SetStation(Station* station) { station_ = station; }
  void SetSaver(SettingsSaver* saver) { saver_ = saver; }
  void SetDoor(DoorControl* door) { door_ = door; }

  void StartImageWorker() override;
  void StopImageWorker() override;
  void StartSpeaker() override;
  void StopSpeaker() override;
  void StartTransmit() override;
  void StopTransmit() override;
  void ShowAbout() override;
  void ShowUrlDialog() override;
  void ShowDoorDialog() override;
  void ShowVisitors() override;
  void DrawIndicator(int, bool) override {}
  void InvalidateTalkZone() override {}
  void SetMicrophoneLive(bool live) override;
  void SetDucked(bool ducked) override;
  void ArmTalkIdle(int) override {}
  void DisarmTalkIdle() override {}
  void DestroyWindow() override {}
  void PostQuit(int code) override;

 private:
  QPointer<MainWindow> window_;
  Station* station_ = nullptr;
  SettingsSaver* saver_ = nullptr;
  QPointer<DoorControl> door_;
};

}  // namespace vantorel
