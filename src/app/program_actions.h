#pragma once
// The window's decisions wired to the real workers and dialogs.

#include <QPointer>

#include "app/window_logic.h"
#include "audio_tx/microphone.h"

namespace vantorel {

class MainWindow;

class ProgramActions : public WindowActions {
 public:
  void SetWindow(MainWindow* window) { window_ = window; }

  void StartImageWorker() override;
  void StopImageWorker() override;
  void StartSpeaker() override;
  void RequestSpeakerStop() override;
  void StopSpeaker() override;
  void StartTransmit() override;
  void StopTransmit() override;
  void OpenMicrophone() override;
  void CloseMicrophone() override;
  void ShowAbout() override;
  void ShowUrlDialog() override;
  void DrawIndicator(int, bool) override {}
  void InvalidateTalkZone() override {}
  void DestroyWindow() override {}
  void PostQuit(int code) override;

 private:
  QPointer<MainWindow> window_;
  MicrophoneHandle microphone_;  // empty while the microphone is closed
};

}  // namespace vantorel
