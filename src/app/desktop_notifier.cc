#include "app/desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

namespace vantorel {

namespace {

// At most this many notifications wait to be sent; more are dropped (the last rings win).
constexpr size_t kMaxWaiting = 4;

}  // namespace

DesktopNotifier::~DesktopNotifier() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool DesktopNotifier::SessionBusAround() {
  if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return !runtime.isEmpty() && QFileInfo::exists(runtime + "/bus");
}

void DesktopNotifier::Notify(const QString& summary, const QString& body) {
  if (!SessionBusAround()) return;
  std::lock_guard lock(mutex_);
  if (stopping_) return;
  if (waiting_.size() >= kMaxWaiting) waiting_.pop_front();
  waiting_.emplace_back(summary, body);
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  wake_.notify_all();
}

void DesktopNotifier::Run() {
  uint replaces = 0;  // our last notification's id: the next one takes its place
  for (;;) {
    std::pair<QString, QString> next;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
      if (stopping_) return;
      next = std::move(waiting_.front());
      waiting_.pop_front();
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) continue;
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                                       "org.freedesktop.Notifications", "Notify");
    QVariantMap hints;
    hints.insert("urgency", QVariant::fromValue(uchar(2)));  // critical: someone is at the door
    hints.insert("category", QStringLiteral("im.received"));
    call << QStringLiteral("Vantorel") << replaces << QStringLiteral("vantorel") << next.first << next.second
         << QStringList() << hints << int(30000);
    // Bounded: a bus that does not answer costs this thread a second, never the window.
    const QDBusMessage reply = bus.call(call, QDBus::Block, 1000);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
      replaces = reply.arguments().first().toUInt();
    }
  }
}

}  // namespace vantorel
