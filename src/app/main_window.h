#pragma once
// The main window: title, accelerators and the command handler.

#include <QWidget>

namespace vantorel {

class MainWindow : public QWidget {
  Q_OBJECT
 public:
  explicit MainWindow(QWidget* parent = nullptr);
  // Handles one command of the window (menu item, button, accelerator).
  void OnCommand(int command);
  // A second start of the program asked for this window.
  void BringToFront();
};

}  // namespace vantorel
