#include "app/program_actions.h"

#include <QCoreApplication>

#include "app/about_dialog.h"
#include "app/main_window.h"
#include "app/url_dialog.h"
#include "audio_rx/speaker.h"
#include "image/image_worker.h"

namespace vantorel {

void ProgramActions::StartImageWorker() { vantorel::StartImageWorker(); }
void ProgramActions::StopImageWorker() { vantorel::StopImageWorker(); }
void ProgramActions::StartSpeaker() { vantorel::StartSpeaker(); }
void ProgramActions::RequestSpeakerStop() { vantorel::RequestSpeakerStop(); }
void ProgramActions::StopSpeaker() { vantorel::StopSpeaker(); }
void ProgramActions::StartTransmit() { transmit_ = vantorel::StartTransmit(); }
void ProgramActions::StopTransmit() { vantorel::StopTransmit(transmit_); }
void ProgramActions::OpenMicrophone() { vantorel::OpenMicrophone(microphone_); }
void ProgramActions::CloseMicrophone() { vantorel::CloseMicrophone(microphone_); }

void ProgramActions::ShowAbout() {
  AboutDialog dialog(window_);
  dialog.exec();
}

void ProgramActions::ShowUrlDialog() {
  UrlDialog dialog(window_);
  dialog.exec();
}

void ProgramActions::PostQuit(int code) { QCoreApplication::exit(code); }

void ProgramActions::Shutdown() {
  CloseMicrophone();
  // The event loop may have ended by "終了" with a talk or the sound still running: neither
  // worker may outlive the ring or the playback blocks that the tear-down frees.
  JoinTransmit(transmit_);
  JoinSpeaker();
}

}  // namespace vantorel
