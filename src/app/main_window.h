#pragma once
// The main window: the two buttons, the indicators, the picture, the talk zone and the
// menu bar along the bottom edge. Its decisions live in WindowLogic; this class turns Qt
// events into WindowLogic calls and draws.

#include <QWidget>
#include <memory>

#include "app/window_logic.h"

class QMenuBar;
class QPushButton;

namespace vantorel {

inline constexpr int kClientWidth = 480;
// 640 pixels of a VGA handheld less its 52-pixel navigation bar and the 26 of the menu
// bar: tall enough that the centred caption clears the button row.
inline constexpr int kClientHeight = 562;
inline constexpr int kMenuBarHeight = 26;
inline constexpr QRgb kBackground = 0xFFFEDCCA;  // red 254, green 220, blue 202

class MainWindow : public QWidget {
  Q_OBJECT
 public:
  // `actions` are what the decisions call (workers, dialogs); the window adds its own
  // drawing and destruction to them.
  explicit MainWindow(WindowActions* workers, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Handles one command of the window (menu item, button, accelerator).
  void OnCommand(int command);
  // A second start of the program asked for this window.
  void BringToFront();
  // The area below which the menu bar sits.
  QRect ClientRect() const;
  const WindowLogic& logic() const { return *logic_; }
  QMenuBar* menu_bar() const { return menu_bar_; }

  // Called by the window's actions.
  void DrawIndicator(int x);
  void InvalidateTalkZone();
  void DestroyWindow();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  class Actions;
  void BuildMenuBar();
  void OnFocusWindowChanged(QWindow* now);

  std::unique_ptr<Actions> actions_;
  std::unique_ptr<WindowLogic> logic_;
  QMenuBar* menu_bar_ = nullptr;
  bool has_focus_ = false;
  bool destroyed_ = false;
};

}  // namespace vantorel
