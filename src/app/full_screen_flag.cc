#include "app/full_screen_flag.h"

#include <string_view>

namespace vantorel {

bool TakeFullScreenFlag(int& argc, char** argv) {
  bool found = false;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (argv[i] && std::string_view(argv[i]) == "--fullscreen") {
      found = true;
    } else {
      argv[kept++] = argv[i];
    }
  }
  if (argc > 0) {
    argc = kept;
    argv[argc] = nullptr;
  }
  return found;
}

}  // namespace vantorel
