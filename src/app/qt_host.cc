#include "app/qt_host.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace vantorel {

void QtHost::RequestRepaint() {
  if (repaint_queued_.exchange(true)) return;
  QMetaObject::invokeMethod(
      qApp,
      [this] {
        repaint_queued_.store(false);
        if (window_) window_->update();
      },
      Qt::QueuedConnection);
}

void QtHost::PostToWindow(std::function<void()> task) {
  QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
}

void QtHost::ShowErrorBox(std::string_view caption, std::string_view text) {
  QMessageBox::critical(window_, QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace vantorel
