#pragma once
// ~/.netrc, the file curl, ftp and git read sign-ins from: "machine HOST login USER password
// SECRET" entries (and one "default" entry for any other host), so that a password need not
// be written on the command line, where every local user can read it.

#include <optional>
#include <string>
#include <string_view>

namespace vantorel {

struct NetrcLogin {
  std::string login;
  std::string password;
};

// The login for `host` in the text of a netrc file: the first "machine" entry naming it,
// else the "default" entry. Tokens are separated by white space; a token may be written in
// double quotes with \" and \\ inside. "macdef" bodies (up to an empty line) are skipped;
// "account" values are ignored. None when no entry applies or it has no login.
std::optional<NetrcLogin> NetrcLookup(std::string_view text, std::string_view host);

// The netrc file's text: $NETRC when set, else $HOME/.netrc; at most 1 MiB of a regular file.
// False with a one-line reason when it cannot be read.
bool ReadNetrcFile(std::string& text, std::string& error);

}  // namespace vantorel
