#include "app/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QWindow>

#include "app/picture_painter.h"
#include "app/program_icon.h"
#include "app/status_text.h"
#include "app/strings.h"

namespace vantorel {

// The decisions' actions: the workers' part goes to the program's actions, the drawing
// and destruction are the window's own.
class MainWindow::Actions : public WindowActions {
 public:
  Actions(MainWindow& window, WindowActions& workers) : window_(window), workers_(workers) {}
  void StartImageWorker() override { workers_.StartImageWorker(); }
  void StopImageWorker() override { workers_.StopImageWorker(); }
  void StartSpeaker() override { workers_.StartSpeaker(); }
  void StopSpeaker() override { workers_.StopSpeaker(); }
  void StartTransmit() override { workers_.StartTransmit(); }
  void StopTransmit() override { workers_.StopTransmit(); }
  void ShowAbout() override { workers_.ShowAbout(); }
  void ShowUrlDialog() override { workers_.ShowUrlDialog(); }
  void ShowDoorDialog() override { workers_.ShowDoorDialog(); }
  void ShowVisitors() override { workers_.ShowVisitors(); }
  void DrawIndicator(int x, bool) override { window_.DrawIndicator(x); }
  void InvalidateTalkZone() override { window_.InvalidateTalkZone(); }
  void SetMicrophoneLive(bool live) override { workers_.SetMicrophoneLive(live); }
  void SetDucked(bool ducked) override { workers_.SetDucked(ducked); }
  void ArmTalkIdle(int seconds) override { window_.ArmTalkIdle(seconds); }
  void DisarmTalkIdle() override { window_.DisarmTalkIdle(); }
  void DestroyWindow() override { window_.DestroyWindow(); }
  void PostQuit(int code) override { workers_.PostQuit(code); }

 private:
  MainWindow& window_;
  WindowActions& workers_;
};

MainWindow::MainWindow(WindowActions* workers, const CurrentImage* picture, QWidget* parent)
    : QWidget(parent), actions_(std::make_unique<Actions>(*this, *workers)),
      logic_(std::make_unique<WindowLogic>(*actions_)), picture_(picture) {
  setObjectName(kStringClassName);
  setWindowTitle(kStringTitle);
  setWindowIcon(ProgramIcon());
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(kClientWidth, kClientHeight + kMenuBarHeight);

  const struct {
    const char* text;
    int command;
    int x;
  } buttons[] = {{"見る", kCmdView, 38}, {"聞く", kCmdListen, 113}};
  for (const auto& b : buttons) {
    auto* button = new QPushButton(QString::fromUtf8(b.text), this);
    button->setObjectName(QStringLiteral("button%1").arg(b.command));
    button->setGeometry(b.x, 243, 50, 22);
    button->setAutoDefault(false);
    // Keyboard focus stays with the window, so pressing a button is no focus change.
    button->setFocusPolicy(Qt::NoFocus);
    const int command = b.command;
    connect(button, &QPushButton::clicked, this, [this, command] { OnCommand(command); });
  }

  const struct {
    QKeySequence keys;
    int command;
  } accelerators[] = {{QKeySequence(Qt::CTRL | Qt::Key_A), kCmdAbout},
                      {QKeySequence(Qt::CTRL | Qt::Key_Q), kCmdClose}};
  for (const auto& a : accelerators) {
    auto* shortcut = new QShortcut(a.keys, this);
    const int command = a.command;
    connect(shortcut, &QShortcut::activated, this, [this, command] { OnCommand(command); });
  }
  BuildMenuBar();
  talk_idle_ = new QTimer(this);
  talk_idle_->setSingleShot(true);
  connect(talk_idle_, &QTimer::timeout, this, [this] {
    if (!destroyed_) logic_->OnTalkIdle();
  });
  setFocusPolicy(Qt::StrongFocus);
  connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &MainWindow::OnFocusWindowChanged);
}

MainWindow::~MainWindow() = default;

namespace {

// A menu of this window (a pop-up, or a submenu of one) holds the focus for the window.
bool IsOwnPopup(const QWindow* candidate, const QWindow* window) {
  if (!window || candidate->type() != Qt::Popup) return false;
  for (const QWindow* w = candidate->transientParent(); w; w = w->transientParent()) {
    if (w == window) return true;
  }
  return false;
}

}  // namespace

void MainWindow::BuildMenuBar() {
  menu_bar_ = new QMenuBar(this);
  menu_bar_->setNativeMenuBar(false);
  const struct {
    const char* menu;
    const char* item;
    int command;
  } items[] = {
      {"機能", "バージョン情報", kCmdAbout}, {"機能", "カメラURL", kCmdCameraUrl},
      {"機能", "ドア設定", kCmdDoorSettings}, {"機能", "来訪者", kCmdVisitors},
      {"機能", "終了", kCmdExit},           {"カメラ", "開始", kCmdPictureStart},
      {"カメラ", "停止", kCmdPictureStop},   {"マイク", "開始", kCmdListenStart},
      {"マイク", "停止", kCmdListenStop},
  };
  QMenu* menu = nullptr;
  QString current;
  for (const auto& i : items) {
    if (current != QString::fromUtf8(i.menu)) {
      current = QString::fromUtf8(i.menu);
      menu = menu_bar_->addMenu(current);
    }
    QAction* action = menu->addAction(QString::fromUtf8(i.item));
    action->setData(i.command);
    const int command = i.command;
    connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
  }
}

void MainWindow::SetTalkSettings(const TalkSettings& talk) {
  logic_->SetTalk(talk);
  if (talk.mode != TalkMode::kHold) return;
  for (QAction* item : menu_bar_->actions()) {
    QMenu* menu = item->menu();
    if (!menu) continue;
    for (QAction* exit : menu->actions()) {
      if (exit->data().toInt() != kCmdExit) continue;
      auto* end = new QAction(QString::fromUtf8("通話終了"), menu);
      end->setData(kCmdEndTalk);
      connect(end, &QAction::triggered, this, [this] { OnCommand(kCmdEndTalk); });
      menu->insertAction(exit, end);
      return;
    }
  }
}

void MainWindow::ArmTalkIdle(int seconds) { talk_idle_->start(std::chrono::seconds(seconds)); }

void MainWindow::DisarmTalkIdle() { talk_idle_->stop(); }

QRect MainWindow::ClientRect() const {
  return QRect(0, 0, width(), std::max(0, height() - kMenuBarHeight));
}

void MainWindow::OnCommand(int command) { logic_->OnCommand(command); }

void MainWindow::BringToFront() {
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

void MainWindow::DrawIndicator(int x) { update(x, kIndicatorY, kIndicatorSize + 1, kIndicatorSize + 1); }

namespace {

QRect ToQRect(const ZoneRect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

}  // namespace

void MainWindow::InvalidateTalkZone() { update(ToQRect(kTalkZoneFrame)); }

void MainWindow::RequestPictureRepaint() {
  if (repaint_queued_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        repaint_queued_.store(false);
        const QRect now = picture_ ? PictureRect(ClientRect(), *picture_) : QRect();
        if (now.isEmpty() != last_picture_.isEmpty()) {
          // A picture came or went: the caption, drawn only without one, changes too.
          update(ClientRect());
        } else {
          // The old rectangle too, should the picture have shrunk.
          const QRegion changed = QRegion(now).united(last_picture_);
          if (!changed.isEmpty()) update(changed);
        }
        last_picture_ = now;
      },
      Qt::QueuedConnection);
}

namespace {

// Where each worker's status line goes: the picture's in the picture area, the sound's right
// of the buttons, the talk's right of the talk zone.
const QRect kPictureStatusRect(0, 200, kClientWidth, 40);
const QRect kListenStatusRect(170, 243, kClientWidth - 170, 22);
const QRect kTalkStatusRect(kTalkZoneFrame.right + 6, kTalkZoneFrame.top, kClientWidth - kTalkZoneFrame.right - 6,
                            kTalkZoneFrame.Height());
// The door's line: a ring, the opener's result, the call button's trouble.
const QRect kDoorLineRect(0, kTalkZoneFrame.top - 42, kClientWidth, 36);

}  // namespace

void MainWindow::OnWorkerStatus(StationWorker worker, const WorkerStatus& status) {
  // The reason stays on show while the worker is failing, and goes when it recovers, rests
  // or is stopped.
  const FailureReason failure = status.state == WorkerState::kFailed ? status.failure.reason : FailureReason::kNone;
  switch (worker) {
    case StationWorker::kPicture:
      if (failure != picture_failure_ && status.state != WorkerState::kConnecting) {
        picture_failure_ = failure;
        update(kPictureStatusRect);
      }
      break;
    case StationWorker::kListen:
      if (failure != listen_failure_ && status.state != WorkerState::kConnecting) {
        listen_failure_ = failure;
        update(kListenStatusRect);
      }
      break;
    case StationWorker::kDoor:
      emit doorStatus(status);
      break;
    case StationWorker::kTalk: {
      const bool was_live = TalkLive();
      talk_state_ = status.state;
      if (TalkLive() != was_live) InvalidateTalkZone();
      if (failure != talk_failure_ && status.state != WorkerState::kConnecting) {
        talk_failure_ = failure;
        update(kTalkStatusRect);
      }
      break;
    }
  }
}

void MainWindow::PaintStatusLines(QPainter& painter, const QRect& dirty) {
  const struct {
    FailureReason failure;
    QRect rect;
  } lines[] = {{picture_failure_, kPictureStatusRect},
               {listen_failure_, kListenStatusRect},
               {talk_failure_, kTalkStatusRect}};
  for (const auto& line : lines) {
    const QString text = StatusText(line.failure);
    if (text.isEmpty() || !line.rect.intersects(dirty)) continue;
    painter.setPen(QColor(150, 20, 20));
    painter.drawText(line.rect, Qt::AlignCenter | Qt::TextWordWrap, text);
  }
  if (!door_line_.isEmpty() && kDoorLineRect.intersects(dirty)) {
    painter.save();
    QFont font = painter.font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.4);
    painter.setFont(font);
    painter.setPen(QColor(150, 20, 20));
    painter.drawText(kDoorLineRect, Qt::AlignCenter | Qt::TextWordWrap, door_line_);
    painter.restore();
  }
}

void MainWindow::SetDoorLine(const QString& text) {
  if (text == door_line_) return;
  door_line_ = text;
  update(kDoorLineRect);
}

QString MainWindow::StatusLine(StationWorker worker) const {
  switch (worker) {
    case StationWorker::kPicture:
      return StatusText(picture_failure_);
    case StationWorker::kListen:
      return StatusText(listen_failure_);
    case StationWorker::kDoor:
      return door_line_;
    case StationWorker::kTalk:
      break;
  }
  return StatusText(talk_failure_);
}

bool MainWindow::TalkLive() const { return logic_->talking() && talk_state_ == WorkerState::kRunning; }

void MainWindow::DestroyWindow() {
  if (destroyed_) return;
  destroyed_ = true;
  hide();
  logic_->OnDestroy();
}

bool MainWindow::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::WindowActivate:
      if (!destroyed_) logic_->OnActivate(true);
      break;
    case QEvent::WindowDeactivate:
      if (!destroyed_) logic_->OnActivate(false);
      break;
    default:
      break;
  }
  return QWidget::event(event);
}

void MainWindow::OnFocusWindowChanged(QWindow* now) {
  // Focus belongs to the top-level window: moving it between the window's own controls
  // is no change, and neither is opening one of its own menus (a popup whose transient
  // parent is this window).
  const bool ours = now && (now == windowHandle() || IsOwnPopup(now, windowHandle()));
  if (ours == has_focus_ || destroyed_) return;
  has_focus_ = ours;
  if (ours) {
    logic_->OnFocusGained();
  } else {
    logic_->OnFocusLost();
  }
}

void MainWindow::paintEvent(QPaintEvent* event) {
  // Only what the event asks for: a new picture repaints the picture's rectangle alone.
  const QRect dirty = event->rect();
  QPainter painter(this);
  const QRect client = ClientRect();
  const bool picture = picture_ != nullptr && PictureRect(client, *picture_).contains(dirty);
  if (picture) {
    PaintPicture(painter, client, *picture_);
    PaintStatusLines(painter, dirty);
    return;
  }
  painter.fillRect(client.intersected(dirty), QColor(kBackground));
  if (picture_ == nullptr || !PaintPicture(painter, client, *picture_)) {
    painter.setPen(Qt::black);
    painter.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, kStringNoPicture);
  }
  painter.setPen(Qt::black);
  for (auto [x, on] : {std::pair{kCameraIndicatorX, logic_->camera_on()},
                       std::pair{kListenIndicatorX, logic_->listen_on()}}) {
    painter.setBrush(on ? Qt::black : Qt::white);
    painter.drawEllipse(x, kIndicatorY, kIndicatorSize - 1, kIndicatorSize - 1);
  }
  PaintStatusLines(painter, dirty);
  // The talk zone, so that a user can find it.
  const QRect zone = ToQRect(kTalkZoneFrame);
  if (!zone.intersects(dirty)) return;
  const bool live = TalkLive();
  painter.setBrush(live ? QColor(200, 60, 60) : QColor(255, 245, 238));
  painter.setPen(QPen(QColor(90, 60, 40), 2));
  painter.drawRoundedRect(zone.adjusted(1, 1, -1, -1), 6, 6);
  painter.setPen(live ? Qt::white : QColor(90, 60, 40));
  painter.drawText(zone, Qt::AlignCenter, live ? "通話中" : "話す");
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  menu_bar_->setGeometry(0, height() - kMenuBarHeight, width(), kMenuBarHeight);
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && !destroyed_) {
    const QPoint p = event->position().toPoint();
    logic_->OnStylusDown(p.x(), p.y());
  }
  QWidget::mousePressEvent(event);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    const QPoint p = event->position().toPoint();
    logic_->OnStylusUp(p.x(), p.y());
  }
  QWidget::mouseReleaseEvent(event);
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press first (Qt's default hands it to mousePressEvent): a quick second
  // press of push-to-talk is a press, not the about box.
  QWidget::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton) logic_->OnDoubleTap();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A close request stops the picture and the sound; the window stays.
  event->ignore();
  if (!destroyed_) logic_->OnCloseRequest();
}

}  // namespace vantorel
