#include "soak_memory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace vantorel::soak {

namespace {

// Adds the KiB of every line of `path` that starts with one of `keys` ("Name:").
long SumFields(const char* path, std::initializer_list<const char*> keys) {
  FILE* f = std::fopen(path, "r");
  if (!f) return -1;
  long total = 0;
  char line[256];
  while (std::fgets(line, sizeof line, f)) {
    for (const char* key : keys) {
      const size_t n = std::strlen(key);
      if (std::strncmp(line, key, n) == 0) total += std::strtol(line + n, nullptr, 10);
    }
  }
  std::fclose(f);
  return total;
}

}  // namespace

Memory ReadMemory() {
  return {.rss_kib = SumFields("/proc/self/status", {"VmRSS:"}),
          .pss_kib = SumFields("/proc/self/smaps_rollup", {"Pss:"}),
          .private_kib = SumFields("/proc/self/smaps_rollup", {"Private_Clean:", "Private_Dirty:"})};
}

}  // namespace vantorel::soak
