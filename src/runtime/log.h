#pragma once
// Diagnostics for failures that the program otherwise keeps silent.
// With VANTOREL_LOG=1 each call prints one line on stderr; otherwise it costs one branch.

namespace vantorel {

bool LogEnabled();

// printf-style; a trailing newline is added.
void LogFailure(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vantorel
