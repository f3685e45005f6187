// The About box and the URL dialog: placement, and what OK and Cancel do to the settings.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/about_dialog.h"
#include "app/dialog_placement.h"
#include "app/url_dialog.h"
#include "settings/camera_settings.h"

namespace vantorel {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class DialogsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "dialogs_test";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qApp) new QApplication(argc, argv);
  }
  void SetUp() override {
    char tmpl[] = "/tmp/vantorel-dialogs-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    settings_.ComposeParameterPaths(dir_);
    settings_.SetCameraUrls({"http://127.0.0.1/a", "http://127.0.0.1/b", "http://127.0.0.1/c"});
    parent_.resize(480, 536);
    parent_.move(100, 50);
    parent_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent_));
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  // Runs `dialog` modally and presses the button named `button` once it shows.
  int ExecPressing(QDialog& dialog, const char* button) {
    QTimer::singleShot(0, &dialog, [&dialog, button] {
      QTest::mouseClick(dialog.findChild<QPushButton*>(button), Qt::LeftButton);
    });
    return dialog.exec();
  }
  CameraSettings settings_;
  std::string dir_;
  QWidget parent_;
};

TEST(DialogPlacementTest, CentredOrAtTheCornerWhenLarger) {
  EXPECT_EQ(CentredOffset({480, 536}, {200, 101}), QPoint(140, 217));
  EXPECT_EQ(CentredOffset({480, 536}, {481, 600}), QPoint(0, 0));
  EXPECT_EQ(CentredOffset({480, 536}, {479, 100}), QPoint(0, 218));  // rounded towards zero
}

TEST_F(DialogsTest, UrlDialogShowsTheSlotsWithTheLoudspeakerHidden) {
  UrlDialog dialog(&parent_, settings_);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_EQ(dialog.windowTitle(), QString("ダイアログ"));
  EXPECT_EQ(dialog.Field(UrlDialog::kImageField)->text(), QString("http://127.0.0.1/a"));
  EXPECT_EQ(dialog.Field(UrlDialog::kReceiveField)->text(), QString("http://127.0.0.1/b"));
  EXPECT_EQ(dialog.Field(UrlDialog::kTransmitField)->text(), QString("http://127.0.0.1/c"));
  EXPECT_TRUE(dialog.Field(UrlDialog::kImageField)->isVisible());
  EXPECT_FALSE(dialog.Field(UrlDialog::kTransmitField)->isVisible());
  QStringList labels;
  for (auto* l : dialog.findChildren<QLabel*>()) {
    if (l->isVisible()) labels << l->text();
  }
  EXPECT_TRUE(labels.contains("画像URL"));
  EXPECT_TRUE(labels.contains("マイクURL"));
  EXPECT_FALSE(labels.contains("スピーカーURL"));
  // Centred over the parent's client area.
  const QPoint expected =
      parent_.mapToGlobal(CentredOffset(parent_.size(), dialog.frameGeometry().size()));
  EXPECT_EQ(dialog.frameGeometry().topLeft(), expected);
}

TEST_F(DialogsTest, CancelTouchesNeitherSlotsNorFile) {
  UrlDialog dialog(&parent_, settings_);
  dialog.Field(UrlDialog::kImageField)->setText("http://127.0.0.1/changed");
  EXPECT_EQ(ExecPressing(dialog, "cancel"), 2);
  EXPECT_EQ(settings_.GetImageUrl(), "http://127.0.0.1/a");
  EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

TEST_F(DialogsTest, OkSavesTheFieldsAndKeepsThePreviousFileAsBackup) {
  {
    UrlDialog dialog(&parent_, settings_);
    dialog.Field(UrlDialog::kReceiveField)->setText("http://127.0.0.1/rx2");
    dialog.Field(UrlDialog::kImageField)->setText(QString(1100, 'x'));  // cut to 1023
    EXPECT_EQ(ExecPressing(dialog, "ok"), 1);
  }
  EXPECT_EQ(settings_.GetReceiveUrl(), "http://127.0.0.1/rx2");
  EXPECT_EQ(settings_.GetImageUrl(), std::string(1023, 'x'));
  const std::string first = ReadFile(settings_.GetParameterPaths().parameter);
  EXPECT_EQ(first, std::string(1023, 'x') + "\nhttp://127.0.0.1/rx2\nhttp://127.0.0.1/c\n");
  {
    UrlDialog dialog(&parent_, settings_);  // unchanged fields: same file again, previous as backup
    EXPECT_EQ(ExecPressing(dialog, "ok"), 1);
  }
  EXPECT_EQ(ReadFile(settings_.GetParameterPaths().parameter), first);
  EXPECT_EQ(ReadFile(settings_.GetParameterPaths().backup), first);
}

TEST_F(DialogsTest, DialogLargerThanTheWindowGoesToItsCorner) {
  parent_.resize(150, 120);
  QApplication::processEvents();
  AboutDialog dialog(&parent_);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_EQ(dialog.windowTitle(), QString("About Vantorel"));
  EXPECT_EQ(dialog.frameGeometry().topLeft(), parent_.mapToGlobal(QPoint(0, 0)));
}

}  // namespace
}  // namespace vantorel
