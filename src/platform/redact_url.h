#pragma once
// URLs as they may appear in any output: error texts, log lines, the command line tools.

#include <string>

namespace vantorel {

// `url` with its password replaced by "***" (the user name stays, it helps to tell which
// account was refused). A URL without a password comes back as given. Text that libcurl
// cannot parse as a URL comes back as "(unusable URL)" unless it holds no '@' at all: a
// string that might hold a password is never returned as it is.
std::string RedactUrl(const std::string& url);

}  // namespace vantorel
