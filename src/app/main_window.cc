#include "app/main_window.h"

#include <QKeySequence>
#include <QShortcut>

#include "app/strings.h"

namespace vantorel {

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
  setObjectName(kStringClassName);
  setWindowTitle(kStringTitle);
  // The client area of a VGA handheld held upright, plus the 26-pixel menu bar.
  resize(480, 536 + 26);
  const struct {
    QKeySequence keys;
    int command;
  } accelerators[] = {{QKeySequence(Qt::CTRL | Qt::Key_A), kCmdAbout},
                      {QKeySequence(Qt::CTRL | Qt::Key_Q), kCmdClose}};
  for (const auto& a : accelerators) {
    auto* shortcut = new QShortcut(a.keys, this);
    shortcut->setContext(Qt::ApplicationShortcut);
    const int command = a.command;
    connect(shortcut, &QShortcut::activated, this, [this, command] { OnCommand(command); });
  }
}

void MainWindow::OnCommand(int command) {
  switch (command) {
    default:
      break;
  }
}

void MainWindow::BringToFront() {
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

}  // namespace vantorel
