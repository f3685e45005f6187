// The real window with the real picture worker against the simulated camera: the picture
// it shows is the still the camera served, placed 40 pixels left of the client area.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <chrono>

#include "app/strings.h"
#include "image/current_image.h"
#include "image/image_worker.h"
#include "live_window.h"

namespace vantorel {
namespace {

TEST(WindowPictureTest, ShowsTheServedStillAtXMinus40) {
  const auto app = test::TestApplication();
  camsim::Server camera(camsim::Options{});
  test::LiveWindow live;
  ASSERT_TRUE(live.PointAtCamera(camera));
  MainWindow& window = live.window;
  ASSERT_TRUE(live.Exposed());

  auto* view = window.findChild<QPushButton*>(QStringLiteral("button%1").arg(kCmdView));
  QTest::mouseClick(view, Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return live.station.image().Has(); }, 10000));
  QTest::mouseClick(view, Qt::LeftButton);  // stop: the picture stays
  ASSERT_TRUE(live.station.WaitStopped(StationWorker::kPicture, std::chrono::steady_clock::now() + std::chrono::seconds(5)));
  EXPECT_GE(camera.stats().requests, 1);
  // The last picture's repaint, as the window's event loop would run it.
  QTest::qWait(50);

  const ImageBitmap still = live.station.image().Copy();
  ASSERT_EQ(still.width, 320);
  ASSERT_EQ(still.height, 240);
  const QImage shown = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
  int mismatches = 0;
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 280; ++x) {
      if (shown.pixel(x, y) != still.Row(y)[x + 40]) ++mismatches;
    }
  }
  EXPECT_EQ(mismatches, 0);
  // Below the picture the background shows again.
  EXPECT_EQ(shown.pixelColor(300, 400), QColor(254, 220, 202));

  camera.Stop();
}

}  // namespace
}  // namespace vantorel
