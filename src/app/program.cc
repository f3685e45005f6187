#include "app/program.h"

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <cstdio>
#include <memory>
#include <string>

#include "app/display_check.h"
#include "app/door_control.h"
#include "app/error_boxes.h"
#include "app/main_window.h"
#include "app/panel_view.h"
#include "app/program_actions.h"
#include "app/settings_saver.h"
#include "app/single_instance.h"
#include "app/status_text.h"
#include "runtime/log.h"
#include "runtime/program_dir.h"
#include "runtime/termination_signals.h"
#include "station/station.h"
#include "runtime/version.h"

namespace vantorel {

namespace {

// SIGTERM and SIGINT end the event loop like "終了", so that the shutdown order runs.
std::unique_ptr<QSocketNotifier> WatchTerminationSignals(TerminationSignals& termination) {
  if (termination.fd() < 0) return nullptr;
  auto notifier = std::make_unique<QSocketNotifier>(termination.fd(), QSocketNotifier::Read);
  QObject::connect(notifier.get(), &QSocketNotifier::activated, [&termination] {
    if (termination.Received()) QCoreApplication::exit(0);
  });
  return notifier;
}

}  // namespace

// What the station reports, carried to the window thread.
StationObserver WindowObserver(MainWindow& window, ErrorBoxes& errors) {
  return {
      .repaint = [&window] { window.RequestPictureRepaint(); },
      .status =
          [&window](StationWorker worker, const WorkerStatus& status) {
            QMetaObject::invokeMethod(
                &window, [&window, worker, status] { window.OnWorkerStatus(worker, status); }, Qt::QueuedConnection);
          },
      .microphone_failed =
          [&window, &errors](const Failure& failure) {
            QMetaObject::invokeMethod(
                &window,
                [&errors, detail = QString::fromStdString(failure.detail)] {
                  errors.Show(QStringLiteral("マイク"), StatusText(FailureReason::kNoAudioDevice) + "\n" + detail);
                },
                Qt::QueuedConnection);
          },
      .door =
          [&window](const DoorEvent& event) {
            QMetaObject::invokeMethod(
                &window, [&window, event] { window.OnDoorEvent(event); }, Qt::QueuedConnection);
          },
  };
}

std::unique_ptr<DoorControl> StartDoor(MainWindow& window, Station& station, SettingsSaver& saver,
                                       ErrorBoxes& errors, const std::string& directory, const DoorTimings& timings) {
  const std::string path = directory + "/" + kStationIniName;
  const StationIni ini = LoadStationIni(path);
  if (!ini.problems.empty()) {
    QString text = "vantorel.ini の次の行は使われません。";
    for (const std::string& problem : ini.problems) {
      LogFailure("%s", problem.c_str());
      text += "\n" + QString::fromStdString(problem);
    }
    errors.Show("vantorel.ini", text);
  }
  station.SetDialect(ini.dialect);  // [camera] dialect: the talk's format without asking param.cgi
  station.SetEchoCancel(ini.talk.echo_cancel);
  if (ini.has_talk) window.SetTalkSettings(ini.talk);  // [talk]: push-to-talk, ducking
  auto door = std::make_unique<DoorControl>(window, station, &saver, path, timings);
  if (ini.has_door) door->Apply(ini.door);
  return door;
}

int RunProgram(char* program_name, const std::string& address, bool full_screen) {
  // Window-system check and Qt's options (display_check.h, command_line.h): without a
  // display the program ends with 255 and one line instead of Qt's abort, and Qt sees the
  // program's name only, never the user's arguments.
  std::string no_window;
  if (!WindowSystemNamed(no_window)) {
    std::fprintf(stderr, "vantorel: %s\n", no_window.c_str());
    return -1;
  }
  // Before QApplication makes its threads, which inherit the blocked signals: a SIGTERM sent
  // once the instance socket listens must not kill the program half set up. An early signal
  // waits until the loop runs, then ends it in order.
  IgnoreBrokenPipe();
  TerminationSignals termination;
  char fallback_name[] = "vantorel";
  int qt_argc = 1;
  char* qt_argv[] = {program_name ? program_name : fallback_name, nullptr};
  auto platform_guard = std::make_unique<PlatformStartGuard>();
  QApplication app(qt_argc, qt_argv);
  platform_guard.reset();
  // End of the window-system check.
  QApplication::setApplicationName("Vantorel");
  QApplication::setApplicationVersion(VANTOREL_VERSION);
  const auto signals_watch = WatchTerminationSignals(termination);

  // A settings folder that others can change is not used: its URLs could be planted.
  std::string directory, refusal;
  if (!GetProgramDirectory(directory, &refusal)) {
    if (!refusal.empty()) {
      LogFailure("%s", refusal.c_str());
      QMessageBox::critical(nullptr, QStringLiteral("Vantorel"),
                            QStringLiteral("設定フォルダーを使えません。\n") + QString::fromStdString(refusal));
      return 1;
    }
    directory = ".";
  }

  // Destroyed in reverse order: the station (its workers stop and are joined) goes while
  // the window still exists, hidden by then.
  ProgramActions actions;
  MainWindow window(&actions);
  actions.SetWindow(&window);
  auto* errors = new ErrorBoxes(&window);  // owned by the window
  Station station(WindowObserver(window, *errors));
  window.SetPicture(&station.image());
  actions.SetStation(&station);

  CameraSettings& settings = station.settings();
  // Saves the URL and door dialogs' edits off the window thread; goes before the station does.
  SettingsSaver saver(settings, ShowSaveFailures(*errors), [errors](const QString& failure) {
    errors->Show("ドア設定", "ドア設定を保存できませんでした。\n" + failure);
  });
  actions.SetSaver(&saver);
  settings.ComposeParameterPaths();
  settings.LoadParameters();
  if (!address.empty()) settings.SetUrlsFromAddress(address);

  SingleInstance instance(QString::fromStdString(directory));
  if (!instance.Claim()) return -1;
  QObject::connect(&instance, &SingleInstance::activationRequested, &window, &MainWindow::BringToFront);
  // The door (vantorel.ini's [door]); without the file nothing of it shows.
  const std::unique_ptr<DoorControl> door = StartDoor(window, station, saver, *errors, directory);
  actions.SetDoor(door.get());
  // Wall panels: the window scaled to fill the screen (app/panel_view.h).
  std::unique_ptr<PanelView> panel;
  if (full_screen) {
    panel = ShowFullScreen(window);
    QObject::connect(&instance, &SingleInstance::activationRequested, panel.get(), &PanelView::BringToFront);
    door->SetBringToFront([&window, view = panel.get()] {
      window.BringToFront();
      view->BringToFront();
    });
  } else {
    window.show();
  }

  const int result = QApplication::exec();
  station.door().Stop();
  panel.reset();  // hands the window back
  window.hide();
  return result;
}

}  // namespace vantorel
