#pragma once
// The window's side of the door (vantorel.ini's [door]):
// - a ring brings the window to the front (also from minimised, and on a wall panel), starts
//   the picture and the sound as their buttons would, plays no part in the chime (the
//   station's), says 呼び出し中 with the time on the door's line and on the desktop; after
//   `unanswered` without a talk, the line goes and what the ring started stops again;
// - with a relay, the 開錠 button left of the talk zone: a tap arms it for `confirm`, a
//   second tap within that time (or one press held for `long_press`) pulses the opener;
//   the result stays on the door's line for `result`. Never pulsed otherwise;
// - the door dialog and the visitors' pictures.
// Without a [door] section none of it shows: the window is as it was.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/desktop_notifier.h"
#include "settings/station_ini.h"
#include "station/station.h"

class QPushButton;

namespace vantorel {

class MainWindow;
class SettingsSaver;

struct DoorTimings {
  std::chrono::milliseconds unanswered{30000};
  std::chrono::milliseconds confirm{3000};
  std::chrono::milliseconds long_press{800};
  std::chrono::milliseconds result{5000};
};

class DoorControl : public QObject {
  Q_OBJECT
 public:
  // `ini_path` is where the door dialog's settings are saved, by `saver` (null: not saved).
  // Destroy it before the window and the station.
  DoorControl(MainWindow& window, Station& station, SettingsSaver* saver, std::string ini_path,
              DoorTimings timings = {});
  ~DoorControl() override;

  // Puts `door` in force: the watch (re)starts with it or stops, the 開錠 button follows the
  // relay. Window thread.
  void Apply(const DoorSettings& door);
  const DoorSettings& settings() const { return door_; }
  // The camera's URLs changed: the watch connects to the new camera at once.
  void CameraChanged();
  // What brings the window to the front on a ring (the window's own BringToFront unless set).
  void SetBringToFront(std::function<void()> bring) { bring_to_front_ = std::move(bring); }

  void ShowDoorDialog();
  void ShowVisitors();

  QPushButton* open_button() const { return open_button_; }

 private:
  void OnDoorEvent(const DoorEvent& event);
  void OnWatchStatus(const WorkerStatus& status);
  void UpdateLine();
  void OpenPressed();
  void OpenReleased();
  void Pulse();
  void Disarm();

  MainWindow& window_;
  Station& station_;
  SettingsSaver* const saver_;
  const std::string ini_path_;
  const DoorTimings timings_;
  DoorSettings door_;
  std::function<void()> bring_to_front_;
  DesktopNotifier notifier_;
  QString ring_text_;     // while a ring is on
  QString result_text_;   // the opener's last result, for a while
  QString watch_text_;    // the watch's trouble, while it lasts
  QTimer unanswered_;
  QTimer result_shown_;
  QTimer confirm_;        // armed: a second tap opens
  QTimer long_press_;
  bool pulsing_ = false;  // a pulse is under way
  QPushButton* open_button_ = nullptr;  // owned by the window
};

}  // namespace vantorel
