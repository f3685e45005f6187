#include "app/window_logic.h"

#include "app/strings.h"

namespace vantorel {

void WindowLogic::OnDestroy() {
  actions_.StopSpeaker();
  actions_.PostQuit(0);
}

void WindowLogic::OnActivate(bool active) {
  if (!active) {
    actions_.StopImageWorker();
    actions_.RequestSpeakerStop();
    return;
  }
  OnFocusGained();
}

void WindowLogic::OnFocusGained() {
  // The flags hold the user's wish; regaining the window restarts what it asks for.
  if (camera_on_) actions_.StartImageWorker();
  if (listen_on_) actions_.StartSpeaker();
}

void WindowLogic::OnFocusLost() {
  actions_.StopImageWorker();
  actions_.RequestSpeakerStop();
}

void WindowLogic::OnCloseRequest() {
  actions_.StopImageWorker();
  camera_on_ = false;
  actions_.RequestSpeakerStop();
  listen_on_ = false;
}

bool WindowLogic::OnCommand(int command) {
  switch (command) {
    case kCmdClose:
      OnActivate(false);
      OnCloseRequest();
      return true;
    case kCmdAbout:
      actions_.ShowAbout();
      return true;
    case kCmdCameraUrl:
      actions_.ShowUrlDialog();
      return true;
    case kCmdCameraStart:
      actions_.StartImageWorker();
      camera_on_ = true;
      actions_.DrawIndicator(kCameraIndicatorX, camera_on_);
      return true;
    case kCmdCameraStop:
      actions_.StopImageWorker();
      camera_on_ = false;
      actions_.DrawIndicator(kCameraIndicatorX, camera_on_);
      return true;
    case kCmdMicStart:
      actions_.StartSpeaker();
      listen_on_ = true;
      actions_.DrawIndicator(kListenIndicatorX, listen_on_);
      return true;
    case kCmdMicStop:
      actions_.RequestSpeakerStop();
      listen_on_ = false;
      actions_.DrawIndicator(kListenIndicatorX, listen_on_);
      return true;
    case kCmdView:
      if (camera_on_) {
        camera_on_ = false;
        actions_.StopImageWorker();
      } else {
        camera_on_ = true;
        actions_.StartImageWorker();
      }
      actions_.DrawIndicator(kCameraIndicatorX, camera_on_);
      return true;
    case kCmdListen:
      if (listen_on_) {
        listen_on_ = false;
        actions_.RequestSpeakerStop();
      } else {
        listen_on_ = true;
        actions_.StartSpeaker();
      }
      actions_.DrawIndicator(kListenIndicatorX, listen_on_);
      return true;
    case kCmdExit:
      actions_.PostQuit(0);
      return true;
    default:
      return false;
  }
}

void WindowLogic::OnStylusUp(int x, int y) {
  if (x < 10 && y < 10) {
    actions_.ShowAbout();
  } else if (x >= 95 && x <= 230 && y >= 465 && y <= 524) {
    if (talking_) {
      StopTalk();
    } else {
      StartTalk();
    }
  } else if (x >= 648 && x <= 729 && y >= 17 && y <= 65) {
    StopTalk();
  }
}

void WindowLogic::OnDoubleTap() { actions_.ShowAbout(); }

void WindowLogic::StartTalk() {
  actions_.InvalidateTalkZone();
  talking_ = true;
  actions_.StartTransmit();
  actions_.OpenMicrophone();
  actions_.StartSpeaker();
}

void WindowLogic::StopTalk() {
  actions_.RequestSpeakerStop();
  actions_.CloseMicrophone();
  actions_.StopTransmit();
  actions_.DestroyWindow();
}

}  // namespace vantorel
