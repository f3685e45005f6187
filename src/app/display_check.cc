#include "app/display_check.h"

#include <unistd.h>

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vantorel {

namespace {

bool Set(const char* value) { return value != nullptr && value[0] != '\0'; }

// Qt's messages while the platform starts. A fatal one would abort: print one line and
// end with the status of a window that cannot be made. Platform warnings ("could not
// connect to display") are part of that story and stay unprinted; others pass.
void StartMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg) {
    const char* display = std::getenv("DISPLAY");
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    std::fprintf(stderr, "vantorel: cannot open the window: the window system did not start (QT_QPA_PLATFORM=%s, DISPLAY=%s)\n",
                 Set(platform) ? platform : "(unset)", Set(display) ? display : "(unset)");
    std::fflush(stderr);
    _exit(255);
  }
  const char* category = context.category ? context.category : "";
  if (std::strncmp(category, "qt.qpa", 6) == 0) return;
  std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

}  // namespace

bool WindowSystemNamed(const char* qt_qpa_platform, const char* wayland_display, const char* display,
                       std::string& why) {
  if (Set(qt_qpa_platform) || Set(wayland_display) || Set(display)) return true;
  why = "cannot open the window: no display (set DISPLAY or WAYLAND_DISPLAY, or QT_QPA_PLATFORM=offscreen)";
  return false;
}

bool WindowSystemNamed(std::string& why) {
  return WindowSystemNamed(std::getenv("QT_QPA_PLATFORM"), std::getenv("WAYLAND_DISPLAY"),
                           std::getenv("DISPLAY"), why);
}

PlatformStartGuard::PlatformStartGuard() { qInstallMessageHandler(StartMessage); }

PlatformStartGuard::~PlatformStartGuard() { qInstallMessageHandler(nullptr); }

}  // namespace vantorel
