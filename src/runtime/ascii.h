#pragma once
// Case folding for protocol words: header names, media types, URL schemes, setting names.
// Only A-Z fold; the C library's tolower follows the locale (which Qt sets from the
// environment), where other bytes may fold too.

#include <string>
#include <string_view>

namespace vantorel {

inline std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace vantorel
