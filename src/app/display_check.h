#pragma once
// Whether the window can be opened at all, settled before QApplication exists: Qt aborts
// the process (status 134, a page of plugin messages) when its platform cannot start. The
// program ends instead with 255 and one line on stderr saying why.

#include <string>

namespace vantorel {

// False (with one line in `why`) when no window system is named: neither
// QT_QPA_PLATFORM, WAYLAND_DISPLAY nor DISPLAY is set.
bool WindowSystemNamed(std::string& why);

// The environment question above, as a pure decision (tests).
bool WindowSystemNamed(const char* qt_qpa_platform, const char* wayland_display, const char* display,
                       std::string& why);

// While one lives (around the construction of QApplication): Qt's platform messages are
// held back, and a fatal one (the platform named could not start, for example an X server
// that does not answer) ends the process at once with 255 and one line on stderr.
class PlatformStartGuard {
 public:
  PlatformStartGuard();
  ~PlatformStartGuard();
  PlatformStartGuard(const PlatformStartGuard&) = delete;
  PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;
};

}  // namespace vantorel
