// vantorel-cli urls [ADDRESS]: the three URLs the program would use.

#include <cstdio>

#include "commands.h"
#include "settings/camera_settings.h"

namespace vantorel::cli {

int RunUrls(int argc, char** argv) {
  if (argc > 2) {
    std::fputs("usage: vantorel-cli urls [ADDRESS]\n", stderr);
    return 2;
  }
  // The same order as the program's start: the parameter file, then the address.
  CameraSettings settings;
  settings.ComposeParameterPaths();
  settings.LoadParameters();
  if (argc == 2) settings.SetUrlsFromAddress(argv[1]);
  const CameraUrls urls = settings.GetCameraUrls();
  std::printf("%s\n%s\n%s\n", urls.image.c_str(), urls.receive.c_str(), urls.transmit.c_str());
  return 0;
}

}  // namespace vantorel::cli
