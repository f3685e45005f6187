#pragma once
// The window program's host: everything a subsystem asks of the window is queued onto
// the Qt event loop's thread.

#include <QPointer>
#include <QWidget>
#include <atomic>

#include "platform/host.h"

namespace vantorel {

class QtHost : public Host {
 public:
  explicit QtHost(QWidget* window) : window_(window) {}
  void RequestRepaint() override;
  void PostToWindow(std::function<void()> task) override;
  void ShowErrorBox(std::string_view caption, std::string_view text) override;

 private:
  QPointer<QWidget> window_;
  // Set while a repaint is queued: many requests between two paints make one event.
  std::atomic<bool> repaint_queued_{false};
};

}  // namespace vantorel
