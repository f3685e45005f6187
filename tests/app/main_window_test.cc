// The real window under the offscreen platform: clicks, accelerators, menus, pixels.

#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <string>
#include <vector>

#include "app/strings.h"
#include "recording_actions.h"

namespace vantorel {
namespace {

using RecordingWorkers = RecordingActions;

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "main_window_test";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qApp) new QApplication(argc, argv);
  }
  void SetUp() override {
    window_ = std::make_unique<MainWindow>(&workers_);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  QColor Pixel(int x, int y) { return window_->grab().toImage().pixelColor(x, y); }
  QPushButton* Button(int command) {
    return window_->findChild<QPushButton*>(QStringLiteral("button%1").arg(command));
  }

  RecordingWorkers workers_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, ViewButtonTurnsItsIndicatorBlackThenWhite) {
  const int cx = kCameraIndicatorX + kIndicatorSize / 2, cy = kIndicatorY + kIndicatorSize / 2;
  EXPECT_EQ(Pixel(cx, cy), QColor(Qt::white));
  QTest::mouseClick(Button(kCmdView), Qt::LeftButton);
  EXPECT_TRUE(workers_.Saw("StartImage"));
  EXPECT_EQ(Pixel(cx, cy), QColor(Qt::black));
  QTest::mouseClick(Button(kCmdView), Qt::LeftButton);
  EXPECT_TRUE(workers_.Saw("StopImage"));
  EXPECT_EQ(Pixel(cx, cy), QColor(Qt::white));
  // The listen indicator was never touched.
  EXPECT_EQ(Pixel(kListenIndicatorX + 7, kIndicatorY + 7), QColor(Qt::white));
}

TEST_F(MainWindowTest, PaintsBackgroundCaptionAndTalkZone) {
  const QImage image = window_->grab().toImage();
  EXPECT_EQ(image.pixelColor(200, 100), QColor(254, 220, 202));
  EXPECT_EQ(image.pixelColor(470, 520), QColor(254, 220, 202));
  // The talk zone is drawn where taps find it.
  EXPECT_NE(image.pixelColor(160, 470), QColor(254, 220, 202));
  image.save(QString::fromUtf8(::testing::TempDir().c_str()) + "vantorel-window.png");
}

TEST_F(MainWindowTest, ButtonsAndMenuBarSitWhereTheyShould) {
  EXPECT_EQ(Button(kCmdView)->geometry(), QRect(38, 243, 50, 22));
  EXPECT_EQ(Button(kCmdListen)->geometry(), QRect(113, 243, 50, 22));
  EXPECT_EQ(Button(kCmdView)->text(), QString("見る"));
  EXPECT_EQ(Button(kCmdListen)->text(), QString("聞く"));
  EXPECT_EQ(window_->menu_bar()->geometry(), QRect(0, kClientHeight, kClientWidth, kMenuBarHeight));
  QStringList titles;
  for (QAction* a : window_->menu_bar()->actions()) titles << a->text();
  EXPECT_EQ(titles, (QStringList{"機能", "カメラ", "マイク"}));
}

TEST_F(MainWindowTest, MenuItemsSendTheirCommands) {
  for (QAction* top : window_->menu_bar()->actions()) {
    for (QAction* item : top->menu()->actions()) {
      if (item->data().toInt() == kCmdExit) item->trigger();
    }
  }
  EXPECT_TRUE(workers_.Saw("Quit0"));
}

TEST_F(MainWindowTest, AcceleratorsAndTapsReachTheDecisions) {
  window_->activateWindow();
  QTest::keyClick(window_.get(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_TRUE(workers_.Saw("About"));
  workers_.calls.clear();
  QTest::mouseClick(window_.get(), Qt::LeftButton, {}, QPoint(150, 490));
  EXPECT_TRUE(workers_.Saw("StartTransmit"));
  EXPECT_TRUE(window_->logic().talking());
}

TEST_F(MainWindowTest, CloseRequestKeepsTheWindow) {
  QTest::mouseClick(Button(kCmdView), Qt::LeftButton);
  window_->close();
  EXPECT_TRUE(window_->isVisible());
  EXPECT_FALSE(window_->logic().camera_on());
}

TEST_F(MainWindowTest, OpeningItsOwnMenuIsNoFocusLoss) {
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  QTest::mouseClick(Button(kCmdView), Qt::LeftButton);
  QTest::mouseClick(Button(kCmdListen), Qt::LeftButton);
  workers_.calls.clear();
  // Every menu of the bar, open and closed again: the picture and the sound go on.
  for (QAction* top : window_->menu_bar()->actions()) {
    QMenu* menu = top->menu();
    window_->menu_bar()->setActiveAction(top);
    ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }, 2000));
    QApplication::processEvents();
    menu->close();
    window_->menu_bar()->setActiveAction(nullptr);
    QApplication::processEvents();
  }
  EXPECT_FALSE(workers_.Saw("StopImage"));
  EXPECT_FALSE(workers_.Saw("StopSpeaker"));
  // Another window of the program taking the focus is a focus loss.
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  EXPECT_TRUE(workers_.Saw("StopImage"));
}

TEST_F(MainWindowTest, CaptionClearsTheButtonRow) {
  const QImage image = window_->grab().toImage();
  const QColor background(kBackground);
  // Right of the buttons and above their lower edge: nothing but background.
  const int button_bottom = 243 + 22;
  for (int y = 0; y <= button_bottom; ++y) {
    for (int x = 170; x < kClientWidth; ++x) {
      ASSERT_EQ(image.pixelColor(x, y), background) << x << "," << y;
    }
  }
  // The caption is there, below the row and above the talk zone.
  int ink = 0;
  for (int y = button_bottom + 1; y < kTalkZoneFrame.top; ++y) {
    for (int x = 0; x < kClientWidth; ++x) ink += image.pixelColor(x, y) != background;
  }
  EXPECT_GT(ink, 50);
}

}  // namespace
}  // namespace vantorel
