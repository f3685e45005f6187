#include "runtime/core_dumps.h"

#include <sys/prctl.h>

namespace vantorel {

void ForbidCoreDumps() { prctl(PR_SET_DUMPABLE, 0, 0, 0, 0); }

}  // namespace vantorel
