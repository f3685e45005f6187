#pragma once
// Counting the characters of UTF-8 text. A character starts at every byte that is not a
// continuation byte (10xxxxxx), so malformed text is counted the same way and never read
// past its end; a cut made here never splits a well-formed character.

#include <cstddef>
#include <string_view>

namespace vantorel {

// How many bytes the first `max_chars` characters of `text` take (all of it when it has
// no more).
inline size_t Utf8PrefixBytes(std::string_view text, size_t max_chars) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (chars == max_chars) return i;
      ++chars;
    }
  }
  return text.size();
}

}  // namespace vantorel
