#pragma once
// What vantorel-cli says about a failure, and the exit status it ends with.

#include <cstdio>
#include <string>

#include "runtime/failure.h"

namespace vantorel::cli {

// One English line: "cannot connect to the camera", ...
const char* FailureText(FailureReason reason);
// The exit status for `reason`: 0 for none and stopped, 1 for a failure of this computer,
// otherwise a distinct value from 10 up (1 and 2 stay the generic error and the usage error).
int FailureExitCode(FailureReason reason);
// One line: the text, then the HTTP status when there was one, e.g. "sign-in refused (HTTP
// 401): check the user name and password in the camera URL"; with `with_detail`, the detail
// in parentheses after it.
std::string DescribeFailure(const Failure& failure, bool with_detail = false);
// The exit status list for --help.
void PrintExitCodes(std::FILE* out);

}  // namespace vantorel::cli
