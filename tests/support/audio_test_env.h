#pragma once
// Sets environment variables for one test and puts the old values back. SDL reads its
// driver variables when the first audio device opens.

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantorel {

class ScopedEnv {
 public:
  ScopedEnv(std::initializer_list<std::pair<const char*, std::string>> values) {
    for (const auto& [name, value] : values) {
      const char* old = std::getenv(name);
      saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
      ::setenv(name, value.c_str(), 1);
    }
  }
  ~ScopedEnv() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace vantorel
