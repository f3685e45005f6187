#include "cli/url_arguments.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <set>

#include "net/netrc.h"
#include "net/url.h"

namespace vantorel::cli {

namespace {

// The commands whose first argument is a camera URL.
bool TakesUrl(const char* command) {
  static const std::set<std::string> kUrlCommands = {"snapshot", "watch", "talk", "probe", "listen", "rings", "open"};
  return kUrlCommands.count(command) > 0;
}

// The first line of `in`, without its line end; false when there is none.
bool FirstLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return !line.empty();
}

}  // namespace

bool HidePassword(char* argument) {
  const auto [begin, end] = PasswordSpan(argument);
  if (begin == end) return false;
  std::memset(argument + begin, '*', end - begin);
  return true;
}

bool UrlArguments::Prepare(int& argc, char** argv, std::string& error) {
  bool netrc = false;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--netrc") == 0) {
      netrc = true;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  argv[argc] = nullptr;
  // First the copies, then the originals overwritten: the arguments are read from the copies.
  for (int i = 1; i < argc; ++i) {
    const auto [begin, end] = PasswordSpan(argv[i]);
    if (begin == end) continue;
    char* original = argv[i];
    argv[i] = owned_.emplace_back(original).data();
    HidePassword(original);
  }
  if (argc >= 3 && TakesUrl(argv[1])) {
    std::string url = argv[2];
    if (url == "-") {
      if (!FirstLine(std::cin, url)) {
        error = "no URL on standard input";
        return false;
      }
    } else if (url.size() > 1 && url[0] == '@') {
      std::ifstream file(url.substr(1));
      if (!file || !FirstLine(file, url)) {
        error = "no URL in " + std::string(argv[2] + 1);
        return false;
      }
    }
    if (netrc) {
      std::string without, why;
      UrlCredentials credentials;
      if (SplitCredentials(url, without, credentials, why) && !credentials.present) {
        std::string text;
        if (!ReadNetrcFile(text, error)) return false;
        if (const auto login = NetrcLookup(text, UrlHost(url))) {
          url = WithCredentials(url, login->login, login->password);
          if (url.empty()) {
            error = "the login from the netrc file does not fit into the URL";
            return false;
          }
        }
      }
    }
    argv[2] = owned_.emplace_back(std::move(url)).data();
  }
  return true;
}

}  // namespace vantorel::cli
