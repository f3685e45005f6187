// vantorel.ini: what each line gives, what a bad line says (and that it changes nothing
// else), quiet hours across midnight, and the door section written back.

#include "settings/station_ini.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantorel {
namespace {

TEST(StationIniTest, GoodLinesAreTakenAndEachBadLineIsNamedAndIgnored) {
  const StationIni ini = ParseStationIni(
      "; a comment\n"
      "[door]\n"
      "button = 1\n"
      "relay=2\n"
      "open_ms = 99\n"                    // line 5: out of range
      "quiet = 22:00-07:00\n"
      "chime = /home/ann/ding dong.wav\n"
      "colour = red\n"                    // line 8: unknown
      "[talk\n"                           // line 9: no ']'
      "[TALK]\n"
      "Mode = Hold\n"
      "duck = maybe\n"                    // line 12: not on/off
      "just words\n"                      // line 13: no '='
      "[camera]\n"
      "dialect = current\n"
      "[lights]\n"
      "on = yes\n" +                      // line 17: unknown section
      std::string(300, 'x') + " = 1\n");  // line 18: too long
  EXPECT_TRUE(ini.has_door);
  EXPECT_EQ(ini.door, (DoorSettings{.button = 1, .relay = 2, .open_ms = 3000, .chime = "/home/ann/ding dong.wav",
                                    .quiet = QuietHours{22 * 60, 7 * 60}}));
  EXPECT_TRUE(ini.has_talk);
  EXPECT_EQ(ini.talk.mode, TalkMode::kHold);
  EXPECT_TRUE(ini.talk.Ducks());  // unset: on in hold mode
  EXPECT_EQ(ini.dialect, CameraDialect::kCurrent);
  std::vector<int> named;
  for (const std::string& p : ini.problems) named.push_back(std::stoi(p.substr(p.find("line ") + 5)));
  EXPECT_EQ(named, (std::vector<int>{5, 8, 9, 12, 13, 17, 18})) << testing::PrintToString(ini.problems);

  const StationIni none = ParseStationIni("");
  EXPECT_FALSE(none.has_door || none.has_talk);
  EXPECT_TRUE(none.problems.empty());
  EXPECT_FALSE(none.talk.Ducks());
}

TEST(StationIniTest, QuietHoursHoldAcrossMidnight) {
  struct Case {
    const char* text;
    std::vector<std::pair<int, bool>> minutes;  // minute of the day, quiet?
  };
  const Case cases[] = {
      {"22:00-07:00", {{21 * 60 + 59, false}, {22 * 60, true}, {0, true}, {6 * 60 + 59, true}, {7 * 60, false}}},
      {"13:30-14:00", {{13 * 60 + 29, false}, {13 * 60 + 30, true}, {14 * 60, false}}},
      {"00:00-24:00", {{0, true}, {720, true}, {1439, true}}},
      {"08:00-08:00", {{480, false}, {0, false}}},  // no span: never quiet
      {"23:00-00:00", {{23 * 60, true}, {0, false}}},
  };
  for (const Case& c : cases) {
    const auto quiet = ParseQuietHours(c.text);
    ASSERT_TRUE(quiet) << c.text;
    for (const auto& [minute, expected] : c.minutes) EXPECT_EQ(quiet->Contains(minute), expected) << c.text << " " << minute;
  }
  for (const char* bad : {"22-07", "22:00", "25:00-07:00", "22:60-07:00", "7:0-8:00", "", "22:00-07:00x"}) {
    EXPECT_FALSE(ParseQuietHours(bad)) << bad;
  }
}

TEST(StationIniTest, TheDoorSectionIsWrittenBackAndTheRestKept) {
  const std::string before = "[talk]\nmode = hold\n\n[door]\nbutton = 3\nstray = 1\n[camera]\ndialect = design\n";
  const DoorSettings door{.button = 1, .relay = 2, .open_ms = 1500, .chime = "", .quiet = QuietHours{1320, 420}};
  const std::string after = StationIniText(door, before);
  const StationIni ini = ParseStationIni(after);
  EXPECT_EQ(ini.door, door);
  EXPECT_EQ(ini.talk.mode, TalkMode::kHold);
  EXPECT_EQ(ini.dialect, CameraDialect::kDesign);
  EXPECT_TRUE(ini.problems.empty()) << after;
}

}  // namespace
}  // namespace vantorel
