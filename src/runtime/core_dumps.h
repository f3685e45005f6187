#pragma once
// The programs' memory holds camera passwords: no core dump of it, and no other process of
// the same user may read it (ptrace, /proc/PID/mem).

namespace vantorel {

// Marks the process not dumpable (PR_SET_DUMPABLE 0). Call first thing in main.
void ForbidCoreDumps();

}  // namespace vantorel
