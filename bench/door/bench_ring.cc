// Ring latency: from the moment the camera's call button is pressed to the moment the chime
// starts (its first samples handed to the sound output) and to the moment the window is in
// front (activated). The simulated camera runs in this process and presses its button every
// few seconds; the real station watches it over loopback, the real window (offscreen unless
// QT_QPA_PLATFORM says else) reacts, and before each press another window takes the front,
// so that every ring has to bring the window back. Goal: ring to chime under 300 ms.
//
// Usage: bench_ring [RINGS] [EVERY_SECONDS]   (defaults 10 5)
// Each ring is left unanswered for half the time between rings, so that the sound it starts
// (after the chime) has stopped again by the next one: on an output that can be opened once
// (SDL's dummy driver, a sound card without a sound server), a chime cannot play while the
// camera's sound does.
// The chime plays on SDL's output: SDL_AUDIODRIVER chooses it (dummy for no sound).

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/door_control.h"
#include "app/error_boxes.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/program_actions.h"
#include "app/settings_saver.h"
#include "camsim/server.h"
#include "settings/camera_urls.h"
#include "station/station.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// When the watched window was last activated and deactivated (window thread only).
class ActivationClock : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::WindowActivate) activated_ = Clock::now();
    if (event->type() == QEvent::WindowDeactivate) deactivated_ = Clock::now();
    return QObject::eventFilter(watched, event);
  }
  Clock::time_point activated() const { return activated_; }
  // The window was behind another one at `t`.
  bool BehindAt(Clock::time_point t) const { return deactivated_ > activated_ || (deactivated_ < t && activated_ > t); }

 private:
  Clock::time_point activated_{};
  Clock::time_point deactivated_{};
};

void Report(const char* what, std::vector<double> ms) {
  if (ms.empty()) {
    std::printf("%-22s no samples\n", what);
    return;
  }
  std::sort(ms.begin(), ms.end());
  const double p99 = ms[static_cast<size_t>(0.99 * static_cast<double>(ms.size() - 1))];
  std::printf("%-22s median %7.1f ms   p99 %7.1f ms   max %7.1f ms   (%zu rings)\n", what, ms[ms.size() / 2], p99,
              ms.back(), ms.size());
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vantorel;
  const int rings = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  const int every = argc > 2 ? std::max(4, std::atoi(argv[2])) : 5;

  char home[] = "/tmp/vantorel-bench-ring-XXXXXX";
  if (!mkdtemp(home)) return 1;
  setenv("VANTOREL_HOME", home, 1);  // the visitors' pictures go here, and go with it
  std::ofstream(std::string(home) + "/vantorel.ini") << "[door]\nbutton = 1\n";

  camsim::Options options;
  options.io.ring_every = std::chrono::seconds(every);
  camsim::Server camera(options);
  if (!camera.Start()) return 1;

  int qt_argc = 1;
  char name[] = "bench_ring";
  char* qt_argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(qt_argc, qt_argv);

  std::mutex mutex;
  std::vector<Clock::time_point> chime_starts;
  ProgramActions actions;
  MainWindow window(&actions);
  actions.SetWindow(&window);
  auto* errors = new ErrorBoxes(&window);
  StationObserver observer = WindowObserver(window, *errors);
  observer.door = [&, forward = observer.door](const DoorEvent& event) {
    if (event.kind == DoorEvent::Kind::kChimeStarted) {
      std::lock_guard lock(mutex);
      chime_starts.push_back(event.at);
    }
    forward(event);
  };
  Station station(observer);
  window.SetPicture(&station.image());
  actions.SetStation(&station);
  station.settings().SetCameraUrls(UrlsForAddress("127.0.0.1:" + std::to_string(camera.port())));
  SettingsSaver saver(station.settings(), {});
  ActivationClock activation;
  window.installEventFilter(&activation);
  QWidget other;  // takes the front before each ring
  other.resize(200, 100);
  window.show();
  other.show();
  std::unique_ptr<DoorControl> door =
      StartDoor(window, station, saver, *errors, home, {.unanswered = std::chrono::milliseconds(every * 500)});

  std::vector<double> to_chime, to_front;
  int measured = 0;
  int not_behind = 0;  // rings at which the other window had not taken the front
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    const std::vector<Clock::time_point> presses = camera.stats().io.presses;
    std::vector<Clock::time_point> chimes;
    {
      std::lock_guard lock(mutex);
      chimes = chime_starts;
    }
    // A ring is measured once its chime has started and its window came to the front (or
    // 2 s have passed); then the other window takes the front again for the next one.
    if (static_cast<int>(presses.size()) <= measured) return;
    const Clock::time_point press = presses[static_cast<size_t>(measured)];
    const bool chimed = static_cast<int>(chimes.size()) > measured;
    const bool behind = activation.BehindAt(press);
    const bool front = behind && activation.activated() > press;
    if (!(chimed && (front || !behind)) && Clock::now() - press < std::chrono::seconds(2)) return;
    char chime_text[32] = "none", front_text[48] = "not behind another window";
    if (chimed) {
      to_chime.push_back(Ms(chimes[static_cast<size_t>(measured)] - press));
      std::snprintf(chime_text, sizeof chime_text, "%.1f ms", to_chime.back());
    }
    if (front) {
      to_front.push_back(Ms(activation.activated() - press));
      std::snprintf(front_text, sizeof front_text, "%.1f ms", to_front.back());
    } else if (behind) {
      std::snprintf(front_text, sizeof front_text, "none");
    } else {
      ++not_behind;
    }
    std::printf("ring %d: chime %s, front %s\n", measured + 1, chime_text, front_text);
    std::fflush(stdout);
    if (++measured >= rings) {
      QCoreApplication::exit(0);  // quit() would ask the windows, and the main window refuses to close
      return;
    }
    other.activateWindow();
    other.raise();
  });
  poll.start(5);
  QApplication::exec();

  std::printf("\nPress at the camera (127.0.0.1, in this process) to:\n");
  Report("chime start", to_chime);
  Report("window in front", to_front);
  if (not_behind > 0) std::printf("(%d rings found the window in front already)\n", not_behind);
  door.reset();
  station.door().Stop();
  std::filesystem::remove_all(home);
  return 0;
}
