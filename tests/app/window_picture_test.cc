// The real window with the real refresh worker against the simulated camera: the picture
// it shows is the still the camera served, placed 40 pixels left of the client area.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "app/strings.h"
#include "image/current_image.h"
#include "image/image_worker.h"
#include "live_window.h"

namespace vantorel {
namespace {

TEST(WindowPictureTest, ShowsTheServedStillAtXMinus40) {
  const auto app = test::TestApplication();
  camsim::Server camera(camsim::Options{});
  ASSERT_TRUE(test::PointAtCamera(camera));
  char tmpl[] = "/tmp/vantorel-picture-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  setenv("VANTOREL_HOME", tmpl, 1);  // where temp.jpg goes

  test::LiveWindow live;
  MainWindow& window = live.window;
  ASSERT_TRUE(live.Exposed());

  auto* view = window.findChild<QPushButton*>(QStringLiteral("button%1").arg(kCmdView));
  QTest::mouseClick(view, Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([] { return HasCurrentImage(); }, 10000));
  QTest::mouseClick(view, Qt::LeftButton);  // stop: the picture stays
  JoinImageWorker();
  EXPECT_GE(camera.stats().requests, 1);

  const ImageBitmapPtr still = CopyCurrentImage();
  ASSERT_TRUE(still);
  ASSERT_EQ(still->header.width, 320);
  ASSERT_EQ(still->header.height, 240);
  const QImage shown = window.grab().toImage().convertToFormat(QImage::Format_RGB888);
  int mismatches = 0;
  for (int y = 0; y < 240; ++y) {
    const uint8_t* row = still->Pixels() + (239 - y) * still->Stride();  // rows bottom-up
    for (int x = 0; x < 280; ++x) {
      const uint8_t* bgr = row + 3 * (x + 40);
      if (shown.pixelColor(x, y) != QColor(bgr[2], bgr[1], bgr[0])) ++mismatches;
    }
  }
  EXPECT_EQ(mismatches, 0);
  // Below the picture the background shows again.
  EXPECT_EQ(shown.pixelColor(300, 400), QColor(254, 220, 202));

  ReplaceCurrentImage(nullptr);
  camera.Stop();
  std::filesystem::remove_all(tmpl);
}

}  // namespace
}  // namespace vantorel
