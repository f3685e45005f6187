#pragma once
// Desktop notifications through the freedesktop Notifications interface on the session
// bus (Qt's D-Bus module), where a session bus is there; nothing happens where none is.
// Notify() returns at once: connecting to the bus, sending and the answer (at most 1 s) are
// a thread's of this object's, which ends with it.

#include <QString>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace vantorel {

class DesktopNotifier {
 public:
  DesktopNotifier() = default;
  ~DesktopNotifier();
  DesktopNotifier(const DesktopNotifier&) = delete;
  DesktopNotifier& operator=(const DesktopNotifier&) = delete;

  // Any thread. Shows `summary` with `body`; a notification for the same purpose before it
  // is replaced rather than stacked.
  void Notify(const QString& summary, const QString& body);

  // Whether this session has a bus to ask (DBUS_SESSION_BUS_ADDRESS, or the user's bus
  // socket in XDG_RUNTIME_DIR).
  static bool SessionBusAround();

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::pair<QString, QString>> waiting_;  // guarded by mutex_
  bool stopping_ = false;                            // guarded by mutex_
  std::thread thread_;                               // made by the first Notify
};

}  // namespace vantorel
