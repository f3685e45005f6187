// The real window under the offscreen platform: clicks, accelerators, menus, pixels.

#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGraphicsProxyWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <string>
#include <vector>

#include "app/about_dialog.h"
#include "app/panel_view.h"
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

// The window inside the wall-panel view (vantorel --fullscreen), at the panel sizes people
// mount next to the door, landscape and portrait, and at the window's own size.
class PanelViewTest : public MainWindowTest, public ::testing::WithParamInterface<QSize> {
 protected:
  void SetUp() override {
    window_ = std::make_unique<MainWindow>(&workers_);
    view_ = std::make_unique<PanelView>(*window_);
    view_->resize(GetParam());
    view_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
  }
  void TearDown() override { view_.reset(); }
  // Where a point of the window appears on the panel.
  QPoint OnPanel(QPointF in_window) const { return view_->mapFromScene(in_window); }
  QRectF OnPanel(QRectF in_window) const { return view_->viewportTransform().mapRect(in_window); }
  void Tap(QPointF in_window) { QTest::mouseClick(view_->viewport(), Qt::LeftButton, {}, OnPanel(in_window)); }

  std::unique_ptr<PanelView> view_;
};

TEST_P(PanelViewTest, WholeWindowFitsCentredAtOneUniformScale) {
  const QSize panel = GetParam();
  const QRectF shown = OnPanel(QRectF(0, 0, kClientWidth, kClientHeight + kMenuBarHeight));
  // Fills one direction, centred in the other, nothing cut off.
  const double left = shown.left(), right = panel.width() - shown.right();
  const double top = shown.top(), bottom = panel.height() - shown.bottom();
  EXPECT_GE(std::min({left, right, top, bottom}), -0.5);
  EXPECT_LE(std::abs(left - right), 2.0);
  EXPECT_LE(std::abs(top - bottom), 2.0);
  EXPECT_TRUE(std::max(left, right) <= 0.5 || std::max(top, bottom) <= 0.5);
  EXPECT_DOUBLE_EQ(view_->transform().m11(), view_->transform().m22());
  // The window's own layout is untouched: only the view scales it.
  EXPECT_EQ(window_->size(), QSize(kClientWidth, kClientHeight + kMenuBarHeight));
}

TEST_P(PanelViewTest, TapsAtScaledPositionsReachTheirZones) {
  // Just outside the talk zone on the left: nothing.
  Tap(QPointF(kTalkZoneTap.left - 6, 490));
  EXPECT_FALSE(window_->logic().talking());
  // The "見る" button where it is drawn.
  Tap(QRectF(Button(kCmdView)->geometry()).center());
  EXPECT_TRUE(workers_.Saw("StartImage"));
  EXPECT_TRUE(window_->logic().camera_on());
  // Inside the talk zone: the talk starts.
  workers_.calls.clear();
  Tap(QPointF(150, 490));
  EXPECT_TRUE(workers_.Saw("StartTransmit"));
  EXPECT_TRUE(window_->logic().talking());
}

TEST_P(PanelViewTest, MenuOpensScaledAndItsItemsWork) {
  QAction* function_menu = window_->menu_bar()->actions().at(0);
  const QRect title = window_->menu_bar()->actionGeometry(function_menu);
  Tap(QPointF(window_->menu_bar()->mapTo(window_.get(), title.center())));
  QMenu* menu = function_menu->menu();
  ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }));
  // The view places the menu once Qt has shown it.
  QCoreApplication::processEvents();
  // The menu is embedded in the panel, scaled like the window, and fully on the panel.
  QGraphicsProxyWidget* proxy = menu->graphicsProxyWidget();
  ASSERT_NE(proxy, nullptr);
  const QRectF shown = OnPanel(proxy->sceneBoundingRect());
  EXPECT_TRUE(QRectF(QPointF(0, 0), GetParam()).adjusted(-0.5, -0.5, 0.5, 0.5).contains(shown))
      << shown.x() << "," << shown.y() << " " << shown.width() << "x" << shown.height();
  QAction* exit = nullptr;
  for (QAction* item : menu->actions()) {
    if (item->data().toInt() == kCmdExit) exit = item;
  }
  ASSERT_NE(exit, nullptr);
  const QPointF item_in_scene = proxy->mapToScene(QRectF(menu->actionGeometry(exit)).center());
  QTest::mouseClick(view_->viewport(), Qt::LeftButton, {}, view_->mapFromScene(item_in_scene));
  EXPECT_TRUE(workers_.Saw("Quit0"));
}

TEST_P(PanelViewTest, DialogOpensWholeAndCentredOnTheWindow) {
  AboutDialog about(window_.get());
  about.show();
  QCoreApplication::processEvents();
  QGraphicsProxyWidget* proxy = about.graphicsProxyWidget();
  ASSERT_NE(proxy, nullptr);
  const QRectF in_window = proxy->mapRectToItem(window_->graphicsProxyWidget(), proxy->rect());
  EXPECT_TRUE(QRectF(window_->rect()).contains(in_window));
  EXPECT_LE(std::abs(in_window.center().x() - window_->width() / 2.0), 2.0);
  EXPECT_LE(std::abs(in_window.center().y() - window_->height() / 2.0), 2.0);
  // Tall enough for its wrapped texts.
  EXPECT_GE(about.height(), about.heightForWidth(about.width()));
}

TEST_P(PanelViewTest, LeavingThePanelPausesThePictureAndReturningResumesIt) {
  view_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(view_.get()));
  Tap(QRectF(Button(kCmdView)->geometry()).center());
  ASSERT_TRUE(window_->logic().camera_on());
  workers_.calls.clear();
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  EXPECT_TRUE(workers_.Saw("StopImage"));
  workers_.calls.clear();
  view_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(view_.get()));
  EXPECT_TRUE(workers_.Saw("StartImage"));
  // The window's accelerators work on the panel too.
  QTest::keyClick(view_.get(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_TRUE(workers_.Saw("About"));
}

INSTANTIATE_TEST_SUITE_P(Panels, PanelViewTest,
                         ::testing::Values(QSize(800, 480), QSize(1024, 600), QSize(1920, 1080),
                                           QSize(480, 800), QSize(600, 1024),
                                           QSize(kClientWidth, kClientHeight + kMenuBarHeight)),
                         [](const auto& size) {
                           return std::to_string(size.param.width()) + "x" + std::to_string(size.param.height());
                         });

TEST_F(MainWindowTest, PanelAtTheWindowsOwnSizeShowsItPixelForPixel) {
  const QImage direct = window_->grab().toImage().convertToFormat(QImage::Format_RGB32);
  MainWindow embedded(&workers_);
  PanelView view(embedded);
  view.resize(embedded.size());
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  EXPECT_DOUBLE_EQ(view.scale(), 1.0);
  const QImage panel = view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(panel.size(), direct.size());
  int differing = 0;
  for (int y = 0; y < direct.height(); ++y) {
    for (int x = 0; x < direct.width(); ++x) differing += direct.pixel(x, y) != panel.pixel(x, y);
  }
  EXPECT_EQ(differing, 0);
}

}  // namespace
}  // namespace vantorel
