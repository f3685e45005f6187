// The memory baseline for the window: a minimal Qt Widgets program that shows the window's
// Japanese labels with the same widgets and the same (default) font, and nothing else:
// no picture, no sound, no network. bench/memory/side_by_side.sh runs it beside vantorel.
//
// Usage: baseline_labels   (the window is titled "baseline_labels")

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QWidget>
#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle("baseline_labels");
  // Beside the window under test, not in front of it: taking the focus would pause it.
  window.setAttribute(Qt::WA_ShowWithoutActivating);
  window.resize(480, 562 + 26);

  // Where the window has them (src/app/main_window.cc, window_layout.h).
  (new QPushButton(QString::fromUtf8("見る"), &window))->setGeometry(38, 243, 50, 22);
  (new QPushButton(QString::fromUtf8("聞く"), &window))->setGeometry(113, 243, 50, 22);
  auto* talk = new QLabel(QString::fromUtf8("話す"), &window);
  talk->setGeometry(94, 464, 137, 61);
  talk->setAlignment(Qt::AlignCenter);

  auto* bar = new QMenuBar(&window);
  bar->setNativeMenuBar(false);
  bar->setGeometry(0, 562, 480, 26);
  QMenu* functions = bar->addMenu(QString::fromUtf8("機能"));
  for (const char* item : {"バージョン情報", "カメラURL", "終了"}) functions->addAction(QString::fromUtf8(item));
  for (const char* menu : {"カメラ", "マイク"}) {
    QMenu* m = bar->addMenu(QString::fromUtf8(menu));
    for (const char* item : {"開始", "停止"}) m->addAction(QString::fromUtf8(item));
  }

  window.show();
  std::fprintf(stderr, "baseline_labels: font %s %d pt\n", qPrintable(QFontInfo(window.font()).family()),
               QFontInfo(window.font()).pointSize());
  return QApplication::exec();
}
