// vantorel-cli urls [ADDRESS]: the three URLs the program would use.

#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "net/url.h"
#include "settings/camera_settings.h"

namespace vantorel::cli {

int RunUrls(int argc, char** argv) {
  // Passwords print as *** unless asked for: the output may end up in a log or a report.
  bool show_passwords = false;
  if (argc >= 2 && std::strcmp(argv[argc - 1], "--show-passwords") == 0) {
    show_passwords = true;
    --argc;
  }
  if (argc > 2) {
    std::fputs("usage: vantorel-cli urls [ADDRESS] [--show-passwords]\n", stderr);
    return 2;
  }
  // The same order as the program's start: the parameter file, then the address.
  CameraSettings settings;
  settings.ComposeParameterPaths();
  settings.LoadParameters();
  if (argc == 2) settings.SetUrlsFromAddress(argv[1]);
  const CameraUrls urls = settings.GetCameraUrls();
  const auto shown = [show_passwords](const std::string& url) { return show_passwords ? url : RedactUrl(url); };
  std::printf("%s\n%s\n%s\n", shown(urls.image).c_str(), shown(urls.receive).c_str(), shown(urls.transmit).c_str());
  return 0;
}

}  // namespace vantorel::cli
