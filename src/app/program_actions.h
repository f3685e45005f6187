#pragma once
// The window's decisions wired to the real workers and dialogs.

#include <QPointer>

#include "app/window_logic.h"
#include "audio_tx/microphone.h"
#include "audio_tx/transmit_worker.h"

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

  // After the event loop, before the audio tear-down: the microphone closed and no worker
  // left that could still use the capture ring or the playback state.
  void Shutdown();

 private:
  QPointer<MainWindow> window_;
  MicrophoneHandle microphone_;  // empty while the microphone is closed
  TransmitHandle transmit_;      // the talk's worker, from its start to the shutdown
};

}  // namespace vantorel
