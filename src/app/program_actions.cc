#include "app/program_actions.h"

#include <QCoreApplication>

#include "app/about_dialog.h"
#include "app/door_control.h"
#include "app/main_window.h"
#include "app/url_dialog.h"

namespace vantorel {

void ProgramActions::StartImageWorker() {
  if (station_) station_->StartPicture();
}
void ProgramActions::StopImageWorker() {
  if (station_) station_->StopPicture();
}
void ProgramActions::StartSpeaker() {
  if (station_) station_->StartListening({}, {.reconnect = true, .too_fast = {}});
}
void ProgramActions::StopSpeaker() {
  if (station_) station_->StopListening();
}
void ProgramActions::StartTransmit() {
  if (!station_) return;
  station_->door().StopChime();  // the sound output is the talk's now
  station_->StartTalk({.reconnect = true});
}
void ProgramActions::StopTransmit() {
  if (station_) station_->StopTalk();
}
void ProgramActions::SetMicrophoneLive(bool live) {
  if (station_) station_->SetTalkMuted(!live);
}
void ProgramActions::SetDucked(bool ducked) {
  if (station_) station_->SetDucked(ducked);
}

void ProgramActions::ShowAbout() {
  auto* dialog = new AboutDialog(window_);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->open();
}

void ProgramActions::ShowUrlDialog() {
  if (!station_ || !saver_) return;
  auto* dialog = new UrlDialog(window_, station_->settings(), *saver_);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  // The call button's watch follows the camera at once, not at its next reconnection.
  if (door_) QObject::connect(dialog, &QDialog::accepted, door_, &DoorControl::CameraChanged);
  dialog->open();
}

void ProgramActions::ShowDoorDialog() {
  if (door_) door_->ShowDoorDialog();
}

void ProgramActions::ShowVisitors() {
  if (door_) door_->ShowVisitors();
}

void ProgramActions::PostQuit(int code) { QCoreApplication::exit(code); }

}  // namespace vantorel
