#include "app/program.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <memory>

#include "app/audio_setup.h"
#include "app/main_window.h"
#include "app/panel_view.h"
#include "app/program_actions.h"
#include "app/qt_host.h"
#include "app/single_instance.h"
#include "image/image_worker.h"
#include "platform/log.h"
#include "platform/program_dir.h"

namespace vantorel {

namespace {

// SIGTERM and SIGINT end the event loop like "終了", so that the shutdown order runs.
int g_signal_pipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(g_signal_pipe[1], &byte, 1);
}

std::unique_ptr<QSocketNotifier> WatchTerminationSignals() {
  if (pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
  struct sigaction action{};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  auto notifier = std::make_unique<QSocketNotifier>(g_signal_pipe[0], QSocketNotifier::Read);
  QObject::connect(notifier.get(), &QSocketNotifier::activated, [] {
    char buf[16];
    while (read(g_signal_pipe[0], buf, sizeof buf) > 0) {
    }
    QCoreApplication::exit(0);
  });
  return notifier;
}

}  // namespace

int RunProgram(int argc, char** argv, bool full_screen) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Vantorel");
  QApplication::setApplicationVersion("1.0");
  // Before anything can see this instance: a SIGTERM sent once the instance socket listens
  // must not kill the program half set up. An early signal waits in the pipe until the
  // loop runs, then ends it in order.
  const auto signals_watch = WatchTerminationSignals();

  std::string directory;
  if (!GetProgramDirectory(directory)) directory = ".";
  SingleInstance instance(QString::fromStdString(directory));
  if (!instance.Claim()) return -1;

  ProgramActions actions;
  MainWindow window(&actions);
  actions.SetWindow(&window);
  QObject::connect(&instance, &SingleInstance::activationRequested, &window, &MainWindow::BringToFront);
  QtHost host(&window);
  SetHost(&host);
  // Wall panels: the window scaled to fill the screen (app/panel_view.h).
  std::unique_ptr<PanelView> panel;
  if (full_screen) {
    panel = ShowFullScreen(window);
    QObject::connect(&instance, &SingleInstance::activationRequested, panel.get(), &PanelView::BringToFront);
  } else {
    window.show();
  }

  if (!AudioSetup()) {
    LogFailure("audio set-up failed");
    SetHost(nullptr);
    return 0;
  }

  const int result = QApplication::exec();

  actions.Shutdown();
  AudioTeardown();
  StopImageWorker();
  // A worker still ending its last cycle would otherwise call the host being destroyed.
  JoinImageWorker();
  SetHost(nullptr);
  return result;
}

}  // namespace vantorel
