#pragma once
// The address a request goes to, cut down to what the camera needs to see.

#include <string>

namespace vantorel {

// Rebuilds `url` from its scheme, host, port and path only: user name, password, query and
// fragment are left out, so credentials written into a URL never reach the wire. The path
// keeps its percent escapes; "." and ".." segments are resolved; an empty path becomes "/".
// False, with a one-line reason in `error`, unless `url` is an absolute http:// or https://
// URL with a host.
bool HostPortPathUrl(const std::string& url, std::string& out, std::string& error);

}  // namespace vantorel
