#include "runtime/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vantorel {

bool LogEnabled() {
  static const bool enabled = [] {
    const char* v = std::getenv("VANTOREL_LOG");
    return v && std::strcmp(v, "1") == 0;
  }();
  return enabled;
}

void LogFailure(const char* format, ...) {
  if (!LogEnabled()) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  // One write per line so that lines from different threads do not interleave.
  std::fprintf(stderr, "vantorel: %s\n", line);
}

}  // namespace vantorel
