// Picture delay at a camera's pace: from the moment the camera made a still to the moment
// the window painted it, against the fetch's own share of it (made to decoded). A camera on
// 127.0.0.1 in this process answers one fixed 320x240 still per frame time (25 a second by
// default, keeping its connection) and notes when each answer was made; the real station
// fetches and decodes it, and the real window paints it (offscreen). Goal: the window adds
// at most 5 ms to the fetch's time. With "stream" the camera sends the same still as the
// frames of one multipart stream (mjpg/video.cgi), each noted as made when it was written.
//
// Usage: bench_picture_delay [SECONDS] [FPS] [stills|stream]   (defaults 20 25 stills)

#include <httplib.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../image/fixed_camera.h"
#include "app/error_boxes.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/program_actions.h"
#include "app/strings.h"
#include "settings/camera_urls.h"
#include "station/station.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// One still per frame time, the moment of each answer noted.
class PacedCamera {
 public:
  explicit PacedCamera(int fps) : period_(std::chrono::microseconds(1000000 / fps)), still_(vantorel::bench::FixedStill()) {
    server_.Get("/axis-cgi/jpg/image.cgi", [this](const httplib::Request&, httplib::Response& res) {
      const auto now = Clock::now();
      const auto frames = (now - start_) / period_ + 1;
      std::this_thread::sleep_until(start_ + frames * period_);
      res.set_content(still_, "image/jpeg");
      made_.store(Clock::now().time_since_epoch().count());
    });
    // The stream: one part per frame time, for as long as the connection lasts.
    server_.Get("/axis-cgi/mjpg/video.cgi", [this](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("multipart/x-mixed-replace; boundary=myboundary",
                                       [this](size_t, httplib::DataSink& sink) {
                                         const auto now = Clock::now();
                                         const auto frames = (now - start_) / period_ + 1;
                                         std::this_thread::sleep_until(start_ + frames * period_);
                                         const std::string part = "--myboundary\r\nContent-Type: image/jpeg\r\n"
                                                                  "Content-Length: " +
                                                                  std::to_string(still_.size()) + "\r\n\r\n" +
                                                                  still_ + "\r\n";
                                         // Noted before it leaves, as a still's answer is.
                                         made_.store(Clock::now().time_since_epoch().count());
                                         if (!sink.write(part.data(), part.size())) return false;
                                         return !stopping_.load();
                                       });
    });
    server_.set_tcp_nodelay(true);  // as a camera does: no 40 ms wait for an acknowledgement
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~PacedCamera() {
    stopping_ = true;
    server_.stop();
    thread_.join();
  }
  int port() const { return port_; }
  Clock::time_point LastMade() const { return Clock::time_point(Clock::duration(made_.load())); }

 private:
  const Clock::time_point start_ = Clock::now();
  const Clock::duration period_;
  const std::string still_;
  std::atomic<Clock::rep> made_{0};
  std::atomic<bool> stopping_{false};
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

// Made, decoded and painted moments of each still, in the order they came.
struct Frame {
  Clock::time_point made, decoded, painted;
};

// Paints the window inside the filter, so that the moment after the paint is known.
class PaintClock : public QObject {
 public:
  explicit PaintClock(std::function<void()> painted) : painted_(std::move(painted)) {}
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() != QEvent::Paint || busy_) return false;
    busy_ = true;
    object->event(event);  // QObject::event is public; it dispatches to the paint
    busy_ = false;
    painted_();
    return true;
  }

 private:
  std::function<void()> painted_;
  bool busy_ = false;
};

double At(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(p * static_cast<double>(v.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vantorel;
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const int fps = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 100) : 25;
  const bool stream = argc > 3 && std::string(argv[3]) == "stream";
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  char home[] = "/tmp/vantorel-bench-XXXXXX";
  if (!mkdtemp(home)) return 1;
  setenv("VANTOREL_HOME", home, 1);
  int qt_argc = 1;
  QApplication app(qt_argc, argv);

  PacedCamera camera(fps);
  ProgramActions actions;
  MainWindow window(&actions);
  actions.SetWindow(&window);
  auto* errors = new ErrorBoxes(&window);
  std::mutex mutex;
  std::vector<Frame> frames;  // guarded by mutex
  StationObserver observer = WindowObserver(window, *errors);
  const auto repaint = observer.repaint;
  // Called on the picture worker right after the still replaced the picture.
  observer.repaint = [&, repaint] {
    {
      std::lock_guard lock(mutex);
      frames.push_back({camera.LastMade(), Clock::now(), {}});
    }
    repaint();
  };
  PaintClock paint_clock([&] {
    const auto now = Clock::now();
    std::lock_guard lock(mutex);
    // Every still decoded since the last paint is on show now (a paint may cover several).
    for (auto it = frames.rbegin(); it != frames.rend() && it->painted == Clock::time_point{}; ++it) it->painted = now;
  });
  {
    Station station(observer);
    window.SetPicture(&station.image());
    actions.SetStation(&station);
    station.settings().SetCameraUrls(UrlsForAddress("127.0.0.1:" + std::to_string(camera.port())));
    if (stream) {
      station.settings().SetImageUrl("http://127.0.0.1:" + std::to_string(camera.port()) +
                                     "/axis-cgi/mjpg/video.cgi?resolution=320x240&fps=" + std::to_string(fps));
    }
    window.show();
    window.installEventFilter(&paint_clock);
    window.OnCommand(kCmdView);
    QTimer::singleShot(seconds * 1000, [] { QCoreApplication::exit(0); });
    QApplication::exec();
    window.removeEventFilter(&paint_clock);
    station.StopPicture();
    station.WaitIdle(Clock::now() + std::chrono::seconds(5));
  }
  std::string remove = std::string("rm -rf ") + home;
  [[maybe_unused]] const int ignored = std::system(remove.c_str());

  std::vector<double> fetch, delay, added;
  {
    std::lock_guard lock(mutex);
    // The first second is the window's and the connection's start.
    for (size_t i = static_cast<size_t>(fps); i < frames.size(); ++i) {
      const Frame& f = frames[i];
      if (f.painted == Clock::time_point{} || f.made == Clock::time_point{}) continue;
      fetch.push_back(Ms(f.decoded - f.made));
      delay.push_back(Ms(f.painted - f.made));
      added.push_back(Ms(f.painted - f.decoded));
    }
  }
  if (added.empty()) {
    std::fputs("no still was painted\n", stderr);
    return 1;
  }
  std::printf("| %d %s/s, %d s | pictures painted | median | p99 | worst |\n|---|---|---|---|---|\n", fps,
              stream ? "stream frames" : "stills", seconds);
  const auto row = [&](const char* what, const std::vector<double>& v) {
    std::printf("| %s | %zu | %.2f ms | %.2f ms | %.2f ms |\n", what, v.size(), At(v, 0.5), At(v, 0.99), At(v, 1.0));
  };
  row("made to decoded (the fetch)", fetch);
  row("made to painted (the picture delay)", delay);
  row("decoded to painted (the window's part)", added);
  return At(added, 0.99) <= 5.0 ? 0 : 3;
}
