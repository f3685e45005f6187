// The real window with the door against the simulated camera: without vantorel.ini it looks
// exactly as before; a ring brings the picture within a second and keeps the visitor, and
// falls back when unanswered; the opener never opens on one tap.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "app/door_control.h"
#include "app/settings_saver.h"
#include "app/strings.h"
#include "door/visitors.h"
#include "live_window.h"

namespace vantorel {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

class WindowDoorTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantorel-window-door-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    home_ = pattern;
    setenv("VANTOREL_HOME", home_.c_str(), 1);  // the visitors' folder
  }
  void TearDown() override {
    unsetenv("VANTOREL_HOME");
    fs::remove_all(home_);
  }
  void WriteIni(const std::string& text) { std::ofstream(home_ + "/vantorel.ini") << text; }
  std::unique_ptr<DoorControl> Door(test::LiveWindow& live, SettingsSaver& saver, const DoorTimings& timings = {}) {
    auto door = StartDoor(live.window, live.station, saver, *live.errors, home_, timings);
    live.actions.SetDoor(door.get());
    return door;
  }
  static bool DotIsBlack(MainWindow& window, int x) {
    return window.grab().toImage().pixelColor(x + kIndicatorSize / 2, kIndicatorY + kIndicatorSize / 2) ==
           QColor(Qt::black);
  }

  std::unique_ptr<QApplication> app_ = test::TestApplication();
  std::string home_;
};

TEST_F(WindowDoorTest, WithoutVantorelIniTheWindowIsAsBefore) {
  ProgramActions plain_actions;
  MainWindow before(&plain_actions);
  before.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&before));
  test::LiveWindow live;
  SettingsSaver saver(live.station.settings(), {});
  const auto door = Door(live, saver);
  ASSERT_TRUE(live.Exposed());
  const QImage expected = before.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage shown = live.window.grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shown.size(), expected.size());
  int differing = 0;
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) differing += shown.pixel(x, y) != expected.pixel(x, y);
  }
  EXPECT_EQ(differing, 0);
  EXPECT_EQ(live.window.findChild<QPushButton*>("openDoor"), nullptr);
  EXPECT_EQ(live.station.Status(StationWorker::kDoor).state, WorkerState::kIdle);
}

TEST_F(WindowDoorTest, ARingShowsThePictureWithinASecondKeepsTheVisitorAndFallsBackUnanswered) {
  WriteIni("[door]\nbutton = 1\n");
  camsim::Options o;
  o.io.ring_at = {milliseconds(2000)};
  camsim::Server camera(o);
  test::LiveWindow live;
  ASSERT_TRUE(live.PointAtCamera(camera));
  SettingsSaver saver(live.station.settings(), {});
  const auto door = Door(live, saver, {.unanswered = milliseconds(4000)});
  ASSERT_TRUE(live.Exposed());
  MainWindow& window = live.window;
  ASSERT_FALSE(DotIsBlack(window, kCameraIndicatorX));

  ASSERT_TRUE(QTest::qWaitFor([&] { return window.logic().camera_on(); }, 10000));
  const auto on = Clock::now();
  ASSERT_EQ(camera.stats().io.presses.size(), 1u);
  EXPECT_LT(on - camera.stats().io.presses.front(), milliseconds(1000));
  EXPECT_TRUE(DotIsBlack(window, kCameraIndicatorX));
  EXPECT_TRUE(window.door_line().startsWith("呼び出し中")) << window.door_line().toStdString();
  EXPECT_TRUE(QTest::qWaitFor([&] { return live.station.image().Has(); }, 5000));
  // The sound once the chime (1.8 s) has given the output back: both play on SDL's dummy
  // driver, which has one output.
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.logic().listen_on(); }, 3000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return live.station.Status(StationWorker::kListen).state == WorkerState::kRunning; }, 3000));
  EXPECT_TRUE(window.StatusLine(StationWorker::kListen).isEmpty()) << window.StatusLine(StationWorker::kListen).toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !ListVisitors(home_ + "/visitors").empty(); }, 10000));

  // Nobody answers: the line goes, and what the ring started stops again.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.logic().camera_on(); }, 5000));
  EXPECT_FALSE(window.logic().listen_on());
  EXPECT_TRUE(window.door_line().isEmpty());
  EXPECT_FALSE(DotIsBlack(window, kCameraIndicatorX));
}

TEST_F(WindowDoorTest, TheOpenerOpensOnASecondTapOrALongPressNeverOnOne) {
  WriteIni("[door]\nrelay = 2\nopen_ms = 1500\n");
  camsim::Server camera(camsim::Options{});
  test::LiveWindow live;
  ASSERT_TRUE(live.PointAtCamera(camera));
  SettingsSaver saver(live.station.settings(), {});
  const auto door = Door(live, saver, {.confirm = milliseconds(500), .long_press = milliseconds(300)});
  ASSERT_TRUE(live.Exposed());
  auto* open = live.window.findChild<QPushButton*>("openDoor");
  ASSERT_NE(open, nullptr);
  EXPECT_TRUE(open->isVisible());
  const auto pulses = [&] { return camera.stats().io.pulses; };

  QTest::mouseClick(open, Qt::LeftButton);  // one tap, then nothing within the time
  QTest::qWait(800);
  EXPECT_EQ(pulses(), 0);
  EXPECT_EQ(open->text(), QString("開錠"));

  QTest::mouseClick(open, Qt::LeftButton);
  QTest::mouseClick(open, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return pulses() == 1; }, 5000));
  EXPECT_EQ(camera.stats().io.last_pulse_port, 2);
  EXPECT_EQ(camera.stats().io.last_pulse_ms, 1500);
  EXPECT_TRUE(QTest::qWaitFor([&] { return live.window.door_line() == "開錠しました"; }, 5000));

  QTest::mousePress(open, Qt::LeftButton);  // held
  QTest::qWait(450);
  QTest::mouseRelease(open, Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return pulses() == 2; }, 5000));
}

}  // namespace
}  // namespace vantorel
