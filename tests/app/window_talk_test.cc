// A whole talk through the real window: a tap on the talk zone starts the upload, the
// microphone (SDL's disk driver reading a tone) and the camera's sound; a second tap ends
// the talk and the program's event loop. The simulated camera receives well-formed parts.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/strings.h"
#include "live_window.h"

namespace vantorel {
namespace {

TEST(WindowTalkTest, TapStartsTheTalkAndASecondTapEndsTheProgram) {
  char tmpl[] = "/tmp/vantorel-talk-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  {
    // Ten seconds of a 440 Hz tone for the microphone, raw 16-bit at 8000 Hz.
    std::vector<int16_t> tone(80000);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / 8000));
    std::ofstream(dir + "/mic.raw", std::ios::binary)
        .write(reinterpret_cast<const char*>(tone.data()), static_cast<std::streamsize>(tone.size() * 2));
  }
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILEIN", (dir + "/mic.raw").c_str(), 1);
  setenv("SDL_DISKAUDIOFILE", (dir + "/speaker.raw").c_str(), 1);
  setenv("VANTOREL_HOME", tmpl, 1);

  const auto app = test::TestApplication();
  camsim::Server camera(camsim::Options{});
  int result = -1;
  {
    test::LiveWindow live;
    ASSERT_TRUE(live.PointAtCamera(camera));
    MainWindow& window = live.window;
    ASSERT_TRUE(live.Exposed());

    const QPoint talk_zone(160, 490);
    QTest::mouseClick(&window, Qt::LeftButton, {}, talk_zone);
    EXPECT_TRUE(window.logic().talking());
    // Enough captured buffers for the four-buffer start and a few parts after it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return camera.stats().talk.parts >= 6; }, 15000));
    // The camera takes the talk: the zone says so.
    EXPECT_TRUE(window.TalkLive());
    QTimer::singleShot(0, &window, [&] { QTest::mouseClick(&window, Qt::LeftButton, {}, talk_zone); });
    result = app->exec();  // the second tap destroys the window, which ends the loop
    EXPECT_FALSE(window.isVisible());
  }  // the station's destruction ends the talk
  EXPECT_EQ(result, 0);
  const camsim::Stats stats = camera.stats();
  EXPECT_EQ(stats.talk.talks, 1);
  EXPECT_EQ(stats.talk.user_agent, "Halvicor Microphone Write.");
  EXPECT_GE(stats.talk.parts, 6);
  EXPECT_EQ(stats.talk.layout_errors, 0) << stats.talk.first_error;
  camera.Stop();
  std::filesystem::remove_all(dir);
}

// A camera that refuses the sign-in: the zone never says 通話中, and the reasons show where
// the user looks, for the talk and for the picture.
TEST(WindowTalkTest, ARefusedSignInShowsItsReasonAndNoTalk) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  const auto app = test::TestApplication();
  camsim::Options options;
  options.sign_in.account = "admin:secret";
  camsim::Server camera(options);
  test::LiveWindow live;
  ASSERT_TRUE(live.PointAtCamera(camera));
  const std::string host = "127.0.0.1:" + std::to_string(camera.port());
  live.station.settings().SetCameraUrls(UrlsForAddress("admin:wrong@" + host));
  MainWindow& window = live.window;
  ASSERT_TRUE(live.Exposed());
  window.OnCommand(kCmdView);
  QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(160, 490));
  EXPECT_TRUE(window.logic().talking());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.StatusLine(StationWorker::kTalk).isEmpty(); }, 10000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.StatusLine(StationWorker::kPicture).isEmpty(); }, 10000));
  EXPECT_FALSE(window.TalkLive());
  EXPECT_TRUE(window.StatusLine(StationWorker::kTalk).startsWith(QStringLiteral("認証に失敗しました")))
      << window.StatusLine(StationWorker::kTalk).toStdString();
  EXPECT_TRUE(window.StatusLine(StationWorker::kPicture).startsWith(QStringLiteral("認証に失敗しました")));
  // The right password: the picture's reason goes with the next picture.
  live.station.settings().SetImageUrl("http://admin:secret@" + host + kImagePath);
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.StatusLine(StationWorker::kPicture).isEmpty(); }, 10000));
}

// Push-to-talk against today's firmware (which ends a talk after 1 s without data): one
// request through presses and a pause longer than that, silence flowing between presses;
// idle time ends the talk, and the program stays.
TEST(WindowTalkTest, HoldKeepsOneRequestThroughPressesAndPausesUntilIdle) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  const auto app = test::TestApplication();
  camsim::Options options;
  options.current.firmware = camsim::Firmware::kCurrent;
  camsim::Server camera(options);
  test::LiveWindow live;
  ASSERT_TRUE(live.PointAtCamera(camera));
  MainWindow& window = live.window;
  TalkSettings hold;
  hold.mode = TalkMode::kHold;
  hold.idle_s = 2;
  window.SetTalkSettings(hold);
  ASSERT_TRUE(live.Exposed());
  const QPoint talk_zone(160, 490);
  QTest::mousePress(&window, Qt::LeftButton, {}, talk_zone);
  EXPECT_TRUE(QTest::qWaitFor([&] { return camera.stats().talk.parts >= 10; }, 15000));
  EXPECT_TRUE(live.station.playback().ducked());
  QTest::mouseRelease(&window, Qt::LeftButton, {}, talk_zone);
  EXPECT_FALSE(live.station.playback().ducked());
  const uint64_t before_pause = camera.stats().talk.samples;
  QTest::qWait(1500);
  EXPECT_GE(camera.stats().talk.samples, before_pause + 8000);  // silence kept the session
  QTest::mousePress(&window, Qt::LeftButton, {}, talk_zone);
  QTest::qWait(300);
  QTest::mouseRelease(&window, Qt::LeftButton, {}, talk_zone);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.logic().talking(); }, 5000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return camera.stats().talk.active == 0; }, 5000));
  EXPECT_TRUE(window.isVisible());
  const camsim::Stats stats = camera.stats();
  EXPECT_EQ(stats.talk.talks, 1);
  EXPECT_EQ(stats.current.receiver_timeouts, 0);
  camera.Stop();
}

}  // namespace
}  // namespace vantorel
