#include "app/command_line.h"

namespace vantorel {

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  if (argc < 2 || argv[1] == nullptr) return line;
  const std::string_view first = argv[1];
  for (const StartOption& option : kStartOptions) {
    if (first == option.name) {
      line.action = option.action;
      return line;
    }
  }
  line.address = first;
  return line;
}

}  // namespace vantorel
