#include "net/netrc.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace vantorel {

namespace {

constexpr size_t kMaxNetrcBytes = size_t{1} << 20;

// Yields the file's tokens one at a time; remembers where a line ended, for macdef bodies.
class Tokens {
 public:
  explicit Tokens(std::string_view text) : text_(text) {}

  std::optional<std::string> Next() {
    while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
    if (at_ >= text_.size()) return std::nullopt;
    std::string token;
    if (text_[at_] == '"') {
      for (++at_; at_ < text_.size() && text_[at_] != '"'; ++at_) {
        if (text_[at_] == '\\' && at_ + 1 < text_.size()) ++at_;
        token += text_[at_];
      }
      if (at_ < text_.size()) ++at_;  // the closing quote
      return token;
    }
    while (at_ < text_.size() && !IsSpace(text_[at_])) token += text_[at_++];
    return token;
  }

  // Skips a macro definition: everything up to the next empty line.
  void SkipMacro() {
    const size_t end = text_.find("\n\n", at_);
    at_ = end == std::string_view::npos ? text_.size() : end + 2;
  }

 private:
  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

  std::string_view text_;
  size_t at_ = 0;
};

}  // namespace

std::optional<NetrcLogin> NetrcLookup(std::string_view text, std::string_view host) {
  Tokens tokens(text);
  std::optional<NetrcLogin> fallback;
  NetrcLogin entry;
  enum class Entry { kNone, kMatch, kDefault, kOther } current = Entry::kNone;
  const auto close_entry = [&]() -> bool {  // true: the matching machine is complete
    if (current == Entry::kMatch && !entry.login.empty()) return true;
    if (current == Entry::kDefault && !fallback && !entry.login.empty()) fallback = entry;
    entry = {};
    return false;
  };
  while (const auto token = tokens.Next()) {
    if (*token == "machine" || *token == "default") {
      if (close_entry()) return entry;
      if (*token == "default") {
        current = Entry::kDefault;
      } else {
        const auto name = tokens.Next();
        current = name && *name == host ? Entry::kMatch : Entry::kOther;
      }
    } else if (*token == "login" || *token == "password" || *token == "account") {
      const auto value = tokens.Next();
      if (!value) break;
      if (*token == "login") entry.login = *value;
      if (*token == "password") entry.password = *value;
    } else if (*token == "macdef") {
      tokens.Next();  // the macro's name
      tokens.SkipMacro();
    }
  }
  if (close_entry()) return entry;
  return fallback;
}

bool ReadNetrcFile(std::string& text, std::string& error) {
  std::string path;
  if (const char* netrc = std::getenv("NETRC"); netrc && *netrc) {
    path = netrc;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    path = std::string(home) + "/.netrc";
  } else {
    error = "no netrc file: neither $NETRC nor $HOME is set";
    return false;
  }
  struct stat st{};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || static_cast<size_t>(st.st_size) > kMaxNetrcBytes) {
    error = path + " is no readable netrc file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    error = path + " cannot be read";
    return false;
  }
  text.resize(std::min(text.size(), kMaxNetrcBytes));
  return true;
}

}  // namespace vantorel
