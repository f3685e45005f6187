// The window thread's responsiveness while the picture, the sound and a talk are started
// and stopped again and again against a camera that accepts and never answers
// (vantorel-camsim --fault no-read): a 10 ms timer on the window's event loop measures how
// late it fires. Goal: worst lateness under 20 ms.
//
// Usage: bench_responsiveness [SECONDS]   (default 20)

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/error_boxes.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/program_actions.h"
#include "app/strings.h"
#include "settings/camera_urls.h"
#include "station/station.h"
#include "support/camera_process.h"

int main(int argc, char** argv) {
  using namespace vantorel;
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER")) qputenv("SDL_AUDIODRIVER", "dummy");
  int qt_argc = 1;
  QApplication app(qt_argc, argv);

  test::CameraProcess camera(VANTOREL_CAMSIM, {"--fault", "no-read"});
  if (camera.Url().empty()) {
    std::fputs("the simulated camera did not start\n", stderr);
    return 1;
  }
  ProgramActions actions;
  MainWindow window(&actions);
  actions.SetWindow(&window);
  auto* errors = new ErrorBoxes(&window);
  int toggles = 0;
  std::vector<double> lateness_ms;
  {
    Station station(WindowObserver(window, *errors));
    window.SetPicture(&station.image());
    actions.SetStation(&station);
    const std::string host = camera.Url().substr(std::string("http://").size());
    station.settings().SetCameraUrls(UrlsForAddress(host));
    window.show();

    // The user: every 50 ms one of the picture, the sound or a talk changes.
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
      switch (toggles++ % 4) {
        case 0:
          window.OnCommand(kCmdView);
          break;
        case 1:
          window.OnCommand(kCmdListen);
          break;
        case 2:
          station.StartTalk({.open_microphone = false});
          break;
        default:
          station.StopTalk();
      }
    });
    user.start(50);

    QElapsedTimer clock;
    clock.start();
    qint64 due = 10;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
      const qint64 now = clock.elapsed();
      lateness_ms.push_back(static_cast<double>(std::max<qint64>(0, now - due)));
      due = now + 10;
      if (now >= seconds * 1000) QCoreApplication::exit(0);
    });
    probe.start(10);
    QApplication::exec();
    window.hide();
    const auto end_began = std::chrono::steady_clock::now();
    station.StopPicture();
    station.StopListening();
    station.StopTalk();
    station.WaitIdle(std::chrono::steady_clock::now() + std::chrono::seconds(5));
    std::printf("program end: workers stopped in %lld ms (after the window was gone)\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - end_began)
                                           .count()));
  }
  std::sort(lateness_ms.begin(), lateness_ms.end());
  const auto at = [&](double p) { return lateness_ms[static_cast<size_t>(p * static_cast<double>(lateness_ms.size() - 1))]; };
  std::printf("| run | toggles | timer ticks | median late | p99 late | worst late |\n|---|---|---|---|---|---|\n");
  std::printf("| %d s, camera --fault no-read | %d | %zu | %.1f ms | %.1f ms | %.1f ms |\n", seconds, toggles,
              lateness_ms.size(), at(0.5), at(0.99), lateness_ms.back());
  return lateness_ms.back() < 20 ? 0 : 3;
}
