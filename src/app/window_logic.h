#pragma once
// The main window's decisions, free of pixels and of Qt: which flag each event changes and
// which worker operation it calls. The window forwards its events here; tests drive it
// with a recorder.

#include "app/window_layout.h"
#include "settings/station_ini.h"

namespace vantorel {

// What the decisions ask of the program. The window wires the station and the dialogs.
// Every start and stop only asks: none of them waits for a worker or a device.
class WindowActions {
 public:
  virtual ~WindowActions() = default;
  virtual void StartImageWorker() = 0;
  virtual void StopImageWorker() = 0;
  virtual void StartSpeaker() = 0;
  virtual void StopSpeaker() = 0;
  // The talk: the upload and the microphone together.
  virtual void StartTransmit() = 0;
  virtual void StopTransmit() = 0;
  virtual void ShowAbout() = 0;
  virtual void ShowUrlDialog() = 0;
  virtual void ShowDoorDialog() = 0;
  virtual void ShowVisitors() = 0;
  // Redraw the indicator left of a button at once (x 22: picture, x 97: sound).
  virtual void DrawIndicator(int x, bool on) = 0;
  // The talk zone's look changes with the talk.
  virtual void InvalidateTalkZone() = 0;
  // Push-to-talk: the microphone's sound is sent (true) or silence in its place (false).
  virtual void SetMicrophoneLive(bool live) = 0;
  // The camera's sound played softer (true) or as it comes.
  virtual void SetDucked(bool ducked) = 0;
  // OnTalkIdle after `seconds`, unless disarmed or armed again before.
  virtual void ArmTalkIdle(int seconds) = 0;
  virtual void DisarmTalkIdle() = 0;
  // Destroy the main window; its destruction comes back as OnDestroy.
  virtual void DestroyWindow() = 0;
  // End the event loop with `code`.
  virtual void PostQuit(int code) = 0;
};

class WindowLogic {
 public:
  explicit WindowLogic(WindowActions& actions) : actions_(actions) {}

  // vantorel.ini's [talk]; without it, the defaults: a tap starts the talk, the next one
  // ends it and the program. In hold mode the talk zone is pressed to speak: the first press
  // starts the talk, a release sends silence (the request goes on), and the talk ends with
  // kCmdEndTalk, the end-talk zone, or idle_s seconds without a press; the program stays.
  // Ducking, when on, lasts while the microphone is sent.
  void SetTalk(const TalkSettings& talk) { talk_ = talk; }

  void OnDestroy();
  // The window became active (true) or inactive (false).
  void OnActivate(bool active);
  void OnFocusGained();
  void OnFocusLost();
  // The user asked to close: both stop and both flags clear; the window stays.
  void OnCloseRequest();
  // Returns false for commands that the window leaves to default handling.
  bool OnCommand(int command);
  // Stylus (left button or touch) pressed or released at (x, y) in window coordinates.
  void OnStylusDown(int x, int y);
  void OnStylusUp(int x, int y);
  // The time armed by ArmTalkIdle has passed.
  void OnTalkIdle();
  void OnDoubleTap();
  // The call button rang: the picture and the sound start if they are off, as their buttons
  // would start them (flags and indicators follow). With `sound_after_chime` the sound waits
  // for OnRingChimeEnded: the chime has the sound output until then.
  void OnRing(bool sound_after_chime = false);
  void OnRingChimeEnded();
  // The ring went unanswered: what it started stops again, unless the user has touched it
  // since (or started a talk, which answers the ring).
  void OnRingUnanswered();

  bool camera_on() const { return camera_on_; }
  bool listen_on() const { return listen_on_; }
  bool talking() const { return talking_; }
  bool ringing() const { return ringing_; }
  bool pressing() const { return pressing_; }

 private:
  void StartTalk();
  void StopTalk();
  // Hold mode: a press of the talk zone ends; the talk ends.
  void ReleasePress();
  void EndHeldTalk();

  WindowActions& actions_;
  TalkSettings talk_;
  bool camera_on_ = false;  // the user wants the picture
  bool listen_on_ = false;  // the user wants to hear the camera
  bool talking_ = false;    // open mode: set once, since stopping a talk ends the program
  bool pressing_ = false;   // hold mode: the talk zone is held down
  bool ringing_ = false;    // a ring is on and not yet answered
  bool ring_started_camera_ = false;  // the ring turned the picture on, and nobody touched it since
  bool ring_started_listen_ = false;  // the same for the sound
  bool ring_sound_due_ = false;       // the sound starts when the chime has ended
};

}  // namespace vantorel
