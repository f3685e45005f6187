#pragma once
// The window program's command line. Only the first argument counts: one of the options
// below, or else a camera address (twelve digits, settings/camera_urls.h) that changes
// nothing when it is not one. No argument reaches Qt, so Qt's own options (-platform,
// -reverse, -style, -qwindowtitle, ...) are plain words here and change nothing.

#include <string>
#include <string_view>

namespace vantorel {

enum class StartAction {
  kRun,      // open the window (with the address, if the first argument is one)
  kQuit,     // "/Q": end at once with 0, nothing created
  kHelp,     // print the usage and end with 0
  kVersion,  // print the version and end with 0
};

struct StartOption {
  std::string_view name;  // matched exactly, case included
  StartAction action;
};

// The recognised first arguments; one line each.
inline constexpr StartOption kStartOptions[] = {
    {"/Q", StartAction::kQuit},
    {"--help", StartAction::kHelp},
    {"--version", StartAction::kVersion},
};

struct CommandLine {
  StartAction action = StartAction::kRun;
  // With kRun: the first argument, to be offered to CameraSettings::SetUrlsFromAddress;
  // empty when there was none.
  std::string address;
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

}  // namespace vantorel
