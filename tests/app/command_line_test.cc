// The window program's command line: only the first argument counts, and none of it is
// an option of Qt's.

#include "app/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantorel {
namespace {

TEST(CommandLineTest, FirstArgumentDecidesAndEverythingElseIsAWord) {
  const struct {
    std::vector<const char*> args;
    StartAction action;
    const char* address;
  } cases[] = {
      {{}, StartAction::kRun, ""},
      {{"/Q"}, StartAction::kQuit, ""},
      {{"/Q", "more", "words"}, StartAction::kQuit, ""},
      {{"/q"}, StartAction::kRun, "/q"},  // case counts
      {{"--help"}, StartAction::kHelp, ""},
      {{"--version", "/Q"}, StartAction::kVersion, ""},
      {{"172016005009"}, StartAction::kRun, "172016005009"},
      {{"172016005009x", "/Q"}, StartAction::kRun, "172016005009x"},  // only the first counts
      {{" 172016005009"}, StartAction::kRun, " 172016005009"},
      {{"/Q "}, StartAction::kRun, "/Q "},
      // Qt's own options are plain words: offered as an address, which they are not.
      {{"-reverse"}, StartAction::kRun, "-reverse"},
      {{"-qwindowtitle", "X"}, StartAction::kRun, "-qwindowtitle"},
      {{"-platform", "offscreen", "/Q"}, StartAction::kRun, "-platform"},
      {{"--style=fusion"}, StartAction::kRun, "--style=fusion"},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv = {"vantorel"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    argv.push_back(nullptr);
    const CommandLine line = ParseCommandLine(static_cast<int>(argv.size() - 1), argv.data());
    const std::string shown = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(line.action, c.action) << shown;
    EXPECT_EQ(line.address, c.address) << shown;
  }
}

}  // namespace
}  // namespace vantorel
