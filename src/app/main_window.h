#pragma once
// The main window: the two buttons, the indicators, the picture, the talk zone and the
// menu bar along the bottom edge. Its decisions live in WindowLogic; this class turns Qt
// events into WindowLogic calls and draws.

#include <QWidget>
#include <atomic>
#include <memory>

#include "app/window_logic.h"
#include "image/current_image.h"
#include "runtime/stoppable_worker.h"
#include "station/station.h"

class QMenuBar;
class QTimer;
class QPainter;
class QPushButton;

namespace vantorel {

inline constexpr QRgb kBackground = 0xFFFEDCCA;  // red 254, green 220, blue 202

class MainWindow : public QWidget {
  Q_OBJECT
 public:
  // `actions` are what the decisions call (workers, dialogs); the window adds its own
  // drawing and destruction to them. `picture` is what it shows (none: the caption only).
  explicit MainWindow(WindowActions* workers, const CurrentImage* picture = nullptr, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Handles one command of the window (menu item, button, accelerator).
  void OnCommand(int command);
  // A second start of the program asked for this window.
  void BringToFront();
  // The area below which the menu bar sits.
  QRect ClientRect() const;
  const WindowLogic& logic() const { return *logic_; }
  QMenuBar* menu_bar() const { return menu_bar_; }

  // vantorel.ini's [talk] (window_logic.h); hold mode adds 通話終了 to the menu 機能.
  void SetTalkSettings(const TalkSettings& talk);

  // The picture to show; set before the window is shown.
  void SetPicture(const CurrentImage* picture) { picture_ = picture; }
  // Any thread: a new picture is there. Requests between two paints make one repaint, of
  // the picture's rectangle only.
  void RequestPictureRepaint();
  // Window thread: a worker's state changed (the talk zone follows the talk's).
  void OnWorkerStatus(StationWorker worker, const WorkerStatus& status);
  // The talk zone shows the talk as under way: a talk was started and the camera takes it.
  bool TalkLive() const;
  // The status line shown for `worker` (empty when none).
  QString StatusLine(StationWorker worker) const;

  // The door (door_control.h). Window thread: a door event or the watch's state arrived
  // (handed on as doorEvent and doorStatus); the ring's decisions; the door's line, drawn
  // between the caption and the talk zone only while it holds text.
  void OnDoorEvent(const DoorEvent& event) { emit doorEvent(event); }
  void Ring(bool sound_after_chime) { logic_->OnRing(sound_after_chime); }
  void RingChimeEnded() { logic_->OnRingChimeEnded(); }
  void RingUnanswered() { logic_->OnRingUnanswered(); }
  void SetDoorLine(const QString& text);
  const QString& door_line() const { return door_line_; }

 signals:
  void doorEvent(const DoorEvent& event);
  void doorStatus(const WorkerStatus& status);

 public:
  // Called by the window's actions.
  void DrawIndicator(int x);
  void InvalidateTalkZone();
  void DestroyWindow();
  void ArmTalkIdle(int seconds);
  void DisarmTalkIdle();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  class Actions;
  void BuildMenuBar();
  void OnFocusWindowChanged(QWindow* now);
  void PaintStatusLines(QPainter& painter, const QRect& dirty);

  std::unique_ptr<Actions> actions_;
  std::unique_ptr<WindowLogic> logic_;
  const CurrentImage* picture_;
  std::atomic<bool> repaint_queued_{false};
  WorkerState talk_state_ = WorkerState::kIdle;
  // Why each worker last failed (kNone while it runs or rests), for the status lines.
  FailureReason picture_failure_ = FailureReason::kNone;
  FailureReason listen_failure_ = FailureReason::kNone;
  FailureReason talk_failure_ = FailureReason::kNone;
  QString door_line_;
  QRect last_picture_;  // where the last picture was drawn
  QMenuBar* menu_bar_ = nullptr;
  QTimer* talk_idle_ = nullptr;  // push-to-talk's end after idle_s without a press
  bool has_focus_ = false;
  bool destroyed_ = false;
};

}  // namespace vantorel
