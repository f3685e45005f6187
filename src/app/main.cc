// Entry of the window program: settings, command line, then the window.

#include <cstdio>

#include "runtime/core_dumps.h"
#include "runtime/version.h"
#include "app/command_line.h"
#include "app/full_screen_flag.h"
#include "app/program.h"

namespace {

constexpr const char* kUsage =
    "Usage: vantorel [--fullscreen] [ADDRESS | /Q | --help | --version]\n"
    "\n"
    "Shows a network camera's picture, plays its microphone and talks to its loudspeaker.\n"
    "\n"
    "  ADDRESS    twelve digits, three per part of the camera's IPv4 address\n"
    "             (172016005009 is 172.16.5.9); replaces the three camera URLs\n"
    "  --fullscreen  fill the screen: the whole window, menu bar included, scaled\n"
    "                to fit and centred (wall panels)\n"
    "  /Q         end at once\n"
    "  --help     this text\n"
    "  --version  the program's version\n"
    "\n"
    "Only the first argument counts; anything else changes nothing.\n"
    "Settings live in VANTOREL.PRA in the program directory ($VANTOREL_HOME when set).\n";

}  // namespace

int main(int argc, char** argv) {
  // Wall panels (app/panel_view.h): the switch is taken out before the rest is read.
  const bool full_screen = vantorel::TakeFullScreenFlag(argc, argv);
  const vantorel::CommandLine line = vantorel::ParseCommandLine(argc, argv);
  switch (line.action) {
    case vantorel::StartAction::kQuit:
      return 0;
    case vantorel::StartAction::kHelp:
      std::fputs(kUsage, stdout);
      return 0;
    case vantorel::StartAction::kVersion:
      std::puts("Vantorel " VANTOREL_VERSION);
      return 0;
    case vantorel::StartAction::kRun:
      break;
  }
  // Passwords live in the program's memory: no core dump of it.
  vantorel::ForbidCoreDumps();
  // The arguments are ours alone: the program hands Qt none of them.
  return vantorel::RunProgram(argv[0], line.address, full_screen);
}
