// A netrc file as anyone may write it: the lookup ends, and whatever it finds is a login that
// the file holds.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "net/netrc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const char* host : {"cam", "127.0.0.1", ""}) {
    const auto login = vantorel::NetrcLookup(text, host);
    if (login && (login->login.empty() || login->login.size() > text.size())) std::abort();
  }
  return 0;
}
