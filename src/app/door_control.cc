#include "app/door_control.h"

#include <QDateTime>
#include <QPushButton>

#include "app/door_dialog.h"
#include "app/main_window.h"
#include "app/settings_saver.h"
#include "app/status_text.h"
#include "app/visitors_dialog.h"
#include "app/window_layout.h"
#include "door/visitors.h"

namespace vantorel {

namespace {

const QString kOpenText = QStringLiteral("開錠");
const QString kConfirmText = QStringLiteral("もう一度\nタップで開錠");
// Left of the talk zone, as tall as it.
const QRect kOpenButtonRect(8, kTalkZoneFrame.top, kTalkZoneFrame.left - 16, kTalkZoneFrame.Height());

QString ClockText(std::chrono::system_clock::time_point at) {
  return QDateTime::fromSecsSinceEpoch(std::chrono::system_clock::to_time_t(at)).toString("HH:mm");
}

}  // namespace

DoorControl::DoorControl(MainWindow& window, Station& station, SettingsSaver* saver, std::string ini_path,
                         DoorTimings timings)
    : window_(window),
      station_(station),
      saver_(saver),
      ini_path_(std::move(ini_path)),
      timings_(timings),
      bring_to_front_([&window] { window.BringToFront(); }) {
  for (QTimer* timer : {&unanswered_, &result_shown_, &confirm_, &long_press_}) timer->setSingleShot(true);
  unanswered_.setInterval(timings_.unanswered);
  result_shown_.setInterval(timings_.result);
  confirm_.setInterval(timings_.confirm);
  long_press_.setInterval(timings_.long_press);
  connect(&window_, &MainWindow::doorEvent, this, &DoorControl::OnDoorEvent);
  connect(&window_, &MainWindow::doorStatus, this, &DoorControl::OnWatchStatus);
  connect(&unanswered_, &QTimer::timeout, this, [this] {
    window_.RingUnanswered();
    ring_text_.clear();
    UpdateLine();
  });
  connect(&result_shown_, &QTimer::timeout, this, [this] {
    result_text_.clear();
    UpdateLine();
  });
  connect(&confirm_, &QTimer::timeout, this, &DoorControl::Disarm);
  connect(&long_press_, &QTimer::timeout, this, [this] {
    confirm_.stop();
    Pulse();
  });
}

DoorControl::~DoorControl() = default;

void DoorControl::Apply(const DoorSettings& door) {
  door_ = door;
  if (door_.button > 0) {
    station_.door().Start(DoorOptionsFrom(door_));
  } else {
    station_.door().Stop();
    watch_text_.clear();
  }
  if (door_.relay > 0 && !open_button_) {
    open_button_ = new QPushButton(kOpenText, &window_);
    open_button_->setObjectName("openDoor");
    open_button_->setGeometry(kOpenButtonRect);
    open_button_->setAutoDefault(false);
    open_button_->setFocusPolicy(Qt::NoFocus);  // as the other buttons: pressing it is no focus change
    connect(open_button_, &QPushButton::pressed, this, &DoorControl::OpenPressed);
    connect(open_button_, &QPushButton::released, this, &DoorControl::OpenReleased);
  }
  if (open_button_) {
    Disarm();
    open_button_->setVisible(door_.relay > 0);
  }
  UpdateLine();
}

void DoorControl::CameraChanged() {
  if (door_.button > 0) station_.door().Start(DoorOptionsFrom(door_));
}

void DoorControl::OnDoorEvent(const DoorEvent& event) {
  switch (event.kind) {
    case DoorEvent::Kind::kRing: {
      bring_to_front_();
      window_.Ring(event.chime);
      ring_text_ = "呼び出し中 " + ClockText(event.wall);
      unanswered_.start();
      UpdateLine();
      notifier_.Notify("呼び出し", "玄関で呼び出しがあります（" + ClockText(event.wall) + "）");
      break;
    }
    case DoorEvent::Kind::kOpened:
    case DoorEvent::Kind::kOpenFailed:
      pulsing_ = false;
      if (event.kind == DoorEvent::Kind::kOpened) {
        result_text_ = "開錠しました";
      } else if (event.failure.reason == FailureReason::kOpenerRefused) {
        result_text_ = StatusText(event.failure.reason);
      } else {
        result_text_ = "開錠できませんでした: " + StatusText(event.failure.reason);
      }
      result_shown_.start();
      if (open_button_) open_button_->setText(kOpenText);
      UpdateLine();
      break;
    case DoorEvent::Kind::kChimeEnded:
      window_.RingChimeEnded();
      break;
    case DoorEvent::Kind::kChimeStarted:
    case DoorEvent::Kind::kVisitorKept:
    case DoorEvent::Kind::kVisitorFailed:
      break;
  }
}

void DoorControl::OnWatchStatus(const WorkerStatus& status) {
  if (status.state == WorkerState::kConnecting) return;  // the last trouble stays until it is over
  const FailureReason reason = status.state == WorkerState::kFailed ? status.failure.reason : FailureReason::kNone;
  const QString text = StatusText(reason);
  watch_text_ = text.isEmpty() || reason == FailureReason::kNoCallButton ? text : "呼び出しボタン: " + text;
  if (door_.button <= 0) watch_text_.clear();
  UpdateLine();
}

void DoorControl::UpdateLine() {
  window_.SetDoorLine(!ring_text_.isEmpty() ? ring_text_ : !result_text_.isEmpty() ? result_text_ : watch_text_);
}

void DoorControl::OpenPressed() {
  if (!pulsing_) long_press_.start();
}

void DoorControl::OpenReleased() {
  if (!long_press_.isActive()) return;  // held long enough: it has opened already
  long_press_.stop();
  if (pulsing_) return;
  if (confirm_.isActive()) {
    confirm_.stop();
    Pulse();
    return;
  }
  // A first tap only asks: a stray touch must never open the door.
  confirm_.start();
  open_button_->setText(kConfirmText);
}

void DoorControl::Pulse() {
  if (pulsing_ || door_.relay <= 0) return;
  pulsing_ = true;
  if (open_button_) open_button_->setText("開錠中…");
  station_.door().Open(door_.relay, door_.open_ms);
}

void DoorControl::Disarm() {
  confirm_.stop();
  long_press_.stop();
  if (open_button_ && !pulsing_) open_button_->setText(kOpenText);
}

void DoorControl::ShowDoorDialog() {
  auto* dialog = new DoorDialog(&window_, door_, [this](const DoorSettings& door) {
    Apply(door);
    if (saver_) saver_->SaveDoor(ini_path_, door);
  });
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->open();
}

void DoorControl::ShowVisitors() {
  auto* dialog = new VisitorsDialog(&window_, VisitorsDirectory());
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->open();
}

}  // namespace vantorel
