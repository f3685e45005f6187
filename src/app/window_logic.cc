#include "app/window_logic.h"

#include "app/strings.h"

#include <utility>

namespace vantorel {

void WindowLogic::OnDestroy() {
  actions_.StopSpeaker();
  actions_.PostQuit(0);
}

void WindowLogic::OnActivate(bool active) {
  if (!active) {
    ReleasePress();  // the release may never come to a window left
    actions_.StopImageWorker();
    actions_.StopSpeaker();
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
  ReleasePress();
  actions_.StopImageWorker();
  actions_.StopSpeaker();
}

void WindowLogic::OnCloseRequest() {
  ring_started_camera_ = ring_started_listen_ = ring_sound_due_ = false;
  actions_.StopImageWorker();
  camera_on_ = false;
  actions_.StopSpeaker();
  listen_on_ = false;
}

bool WindowLogic::OnCommand(int command) {
  // The user's own word on the picture or the sound: a ring leaves it alone from now on.
  switch (command) {
    case kCmdPictureStart:
    case kCmdPictureStop:
    case kCmdView:
      ring_started_camera_ = false;
      break;
    case kCmdListenStart:
    case kCmdListenStop:
    case kCmdListen:
      ring_started_listen_ = ring_sound_due_ = false;
      break;
    default:
      break;
  }
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
    case kCmdDoorSettings:
      actions_.ShowDoorDialog();
      return true;
    case kCmdVisitors:
      actions_.ShowVisitors();
      return true;
    case kCmdPictureStart:
      actions_.StartImageWorker();
      camera_on_ = true;
      actions_.DrawIndicator(kCameraIndicatorX, camera_on_);
      return true;
    case kCmdPictureStop:
      actions_.StopImageWorker();
      camera_on_ = false;
      actions_.DrawIndicator(kCameraIndicatorX, camera_on_);
      return true;
    case kCmdListenStart:
      actions_.StartSpeaker();
      listen_on_ = true;
      actions_.DrawIndicator(kListenIndicatorX, listen_on_);
      return true;
    case kCmdListenStop:
      actions_.StopSpeaker();
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
        actions_.StopSpeaker();
      } else {
        listen_on_ = true;
        actions_.StartSpeaker();
      }
      actions_.DrawIndicator(kListenIndicatorX, listen_on_);
      return true;
    case kCmdExit:
      actions_.PostQuit(0);
      return true;
    case kCmdEndTalk:
      if (talk_.mode == TalkMode::kHold) {
        EndHeldTalk();
      } else if (talking_) {
        StopTalk();
      }
      return true;
    default:
      return false;
  }
}

void WindowLogic::OnStylusDown(int x, int y) {
  if (talk_.mode != TalkMode::kHold || !kTalkZoneTap.Contains(x, y)) return;
  pressing_ = true;
  actions_.DisarmTalkIdle();
  actions_.SetMicrophoneLive(true);  // before a first talk starts, so none of it is silence
  if (talk_.Ducks()) actions_.SetDucked(true);
  if (!talking_) StartTalk();
}

void WindowLogic::ReleasePress() {
  if (!std::exchange(pressing_, false)) return;
  actions_.SetMicrophoneLive(false);
  if (talk_.Ducks()) actions_.SetDucked(false);
  if (talking_) actions_.ArmTalkIdle(talk_.idle_s);
}

void WindowLogic::EndHeldTalk() {
  if (!talking_) return;
  ReleasePress();
  talking_ = false;
  actions_.DisarmTalkIdle();
  actions_.StopTransmit();  // closes the microphone too
  if (!listen_on_) actions_.StopSpeaker();
  actions_.InvalidateTalkZone();
}

void WindowLogic::OnTalkIdle() {
  if (talk_.mode == TalkMode::kHold && !pressing_) EndHeldTalk();
}

void WindowLogic::OnStylusUp(int x, int y) {
  if (talk_.mode == TalkMode::kHold) {
    if (pressing_) {
      ReleasePress();  // wherever the stylus has gone meanwhile
    } else if (kAboutZoneTap.Contains(x, y)) {
      actions_.ShowAbout();
    } else if (kEndTalkZoneTap.Contains(x, y)) {
      EndHeldTalk();
    }
    return;
  }
  if (kAboutZoneTap.Contains(x, y)) {
    actions_.ShowAbout();
  } else if (kTalkZoneTap.Contains(x, y)) {
    if (talking_) {
      StopTalk();
    } else {
      StartTalk();
    }
  } else if (kEndTalkZoneTap.Contains(x, y)) {
    StopTalk();
  }
}

void WindowLogic::OnDoubleTap() {
  if (!pressing_) actions_.ShowAbout();
}

void WindowLogic::OnRing(bool sound_after_chime) {
  ringing_ = true;
  if (!camera_on_) {
    camera_on_ = ring_started_camera_ = true;
    actions_.StartImageWorker();
    actions_.DrawIndicator(kCameraIndicatorX, camera_on_);
  }
  if (!listen_on_) {
    ring_sound_due_ = true;
    if (!sound_after_chime) OnRingChimeEnded();
  }
}

void WindowLogic::OnRingChimeEnded() {
  if (!ringing_ || !std::exchange(ring_sound_due_, false) || listen_on_) return;
  listen_on_ = ring_started_listen_ = true;
  actions_.StartSpeaker();
  actions_.DrawIndicator(kListenIndicatorX, listen_on_);
}

void WindowLogic::OnRingUnanswered() {
  if (!ringing_) return;
  ringing_ = false;
  ring_sound_due_ = false;
  if (ring_started_camera_) {
    camera_on_ = ring_started_camera_ = false;
    actions_.StopImageWorker();
    actions_.DrawIndicator(kCameraIndicatorX, camera_on_);
  }
  if (ring_started_listen_) {
    listen_on_ = ring_started_listen_ = false;
    actions_.StopSpeaker();
    actions_.DrawIndicator(kListenIndicatorX, listen_on_);
  }
}

void WindowLogic::StartTalk() {
  // A talk answers the ring: nothing it started stops by itself.
  ringing_ = ring_started_camera_ = ring_started_listen_ = ring_sound_due_ = false;
  actions_.InvalidateTalkZone();
  talking_ = true;
  actions_.StartTransmit();  // opens the microphone too
  actions_.StartSpeaker();
  if (talk_.mode == TalkMode::kOpen && talk_.Ducks()) actions_.SetDucked(true);
}

void WindowLogic::StopTalk() {
  actions_.StopSpeaker();
  actions_.StopTransmit();  // closes the microphone too
  actions_.DestroyWindow();
}

}  // namespace vantorel
