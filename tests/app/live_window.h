#pragma once
// The window program's pieces joined as RunProgram joins them, for tests that drive the
// real window against the simulated camera (offscreen unless QT_QPA_PLATFORM says else).

#include <QApplication>
#include <QTest>
#include <memory>
#include <string>

#include "app/error_boxes.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/program_actions.h"
#include "camsim/server.h"
#include "settings/camera_urls.h"
#include "station/station.h"

namespace vantorel::test {

// The application object; create it before any widget and keep it until the end.
inline std::unique_ptr<QApplication> TestApplication() {
  static int argc = 1;
  static char name[] = "vantorel-test";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  return std::make_unique<QApplication>(argc, argv);
}

// The main window with its actions and station, shown.
struct LiveWindow {
  LiveWindow() {
    actions.SetWindow(&window);
    window.SetPicture(&station.image());
    actions.SetStation(&station);
    window.show();
  }
  LiveWindow(const LiveWindow&) = delete;
  LiveWindow& operator=(const LiveWindow&) = delete;

  bool Exposed() { return QTest::qWaitForWindowExposed(&window); }
  // Starts `camera` and points the three URLs at it. False when it cannot start.
  bool PointAtCamera(camsim::Server& camera) {
    if (!camera.Start()) return false;
    station.settings().SetCameraUrls(UrlsForAddress("127.0.0.1:" + std::to_string(camera.port())));
    return true;
  }

  ProgramActions actions;
  MainWindow window{&actions};
  ErrorBoxes* errors = new ErrorBoxes(&window);  // owned by the window
  // Declared last: destroyed first, its workers joined while the window still exists.
  Station station{WindowObserver(window, *errors)};
};

}  // namespace vantorel::test
