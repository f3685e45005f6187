#pragma once
// How the subsystems reach the window without knowing it. The Qt program implements this
// by queueing onto its window thread; the CLI and the tests use HeadlessHost.

#include <functional>
#include <string_view>

namespace vantorel {

class Host {
 public:
  virtual ~Host() = default;
  // Any thread. Ask the window to repaint soon; several requests may become one paint.
  virtual void RequestRepaint() = 0;
  // Any thread. Run `task` on the window thread, in the order of posting.
  virtual void PostToWindow(std::function<void()> task) = 0;
  // Window thread. A modal message box with the error icon and an OK button.
  virtual void ShowErrorBox(std::string_view caption, std::string_view text) = 0;
};

// The program's host, set by the entry before any worker starts and cleared after the
// last one has stopped. GetHost() returns nullptr when none is set; callers then skip
// the notification.
void SetHost(Host* host);
Host* GetHost();

}  // namespace vantorel
