#pragma once
// The window's short status lines: why a worker failed, in the user's language.

#include <QString>

#include "runtime/failure.h"

namespace vantorel {

// One short line for `reason`; empty for none (and for a stop, which is no fault).
QString StatusText(FailureReason reason);

}  // namespace vantorel
