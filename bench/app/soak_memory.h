#pragma once
// This process's memory as the kernel counts it: VmRSS (/proc/self/status), and Pss and
// private pages (Private_Clean + Private_Dirty) from /proc/self/smaps_rollup, in KiB.

namespace vantorel::soak {

struct Memory {
  long rss_kib = 0;
  long pss_kib = 0;
  long private_kib = 0;
};

Memory ReadMemory();

}  // namespace vantorel::soak
