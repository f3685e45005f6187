#include "app/window_logic.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/strings.h"
#include "recording_actions.h"

namespace vantorel {
namespace {

using Recorder = RecordingActions;
using Calls = std::vector<std::string>;

class WindowLogicTest : public ::testing::Test {
 protected:
  Recorder rec;
  WindowLogic logic{rec};
};

TEST_F(WindowLogicTest, ViewAndListenButtonsToggleWithTheirIndicators) {
  logic.OnCommand(kCmdView);
  EXPECT_EQ(rec.Take(), (Calls{"StartImage", "Indicator22On"}));
  EXPECT_TRUE(logic.camera_on());
  logic.OnCommand(kCmdView);
  EXPECT_EQ(rec.Take(), (Calls{"StopImage", "Indicator22Off"}));
  EXPECT_FALSE(logic.camera_on());

  logic.OnCommand(kCmdListen);
  EXPECT_EQ(rec.Take(), (Calls{"StartSpeaker", "Indicator97On"}));
  logic.OnCommand(kCmdListen);
  EXPECT_EQ(rec.Take(), (Calls{"StopSpeaker", "Indicator97Off"}));
}

TEST_F(WindowLogicTest, MenuStartAndStopSetTheFlagsWhateverTheyWere) {
  logic.OnCommand(kCmdPictureStart);
  logic.OnCommand(kCmdPictureStart);
  EXPECT_EQ(rec.Take(), (Calls{"StartImage", "Indicator22On", "StartImage", "Indicator22On"}));
  logic.OnCommand(kCmdPictureStop);
  EXPECT_FALSE(logic.camera_on());
  logic.OnCommand(kCmdListenStart);
  EXPECT_TRUE(logic.listen_on());
  logic.OnCommand(kCmdListenStop);
  EXPECT_FALSE(logic.listen_on());
  EXPECT_EQ(rec.Take(), (Calls{"StopImage", "Indicator22Off", "StartSpeaker", "Indicator97On",
                               "StopSpeaker", "Indicator97Off"}));
}

TEST_F(WindowLogicTest, LeavingStopsButKeepsTheWishAndReturningRestartsIt) {
  logic.OnCommand(kCmdView);
  logic.OnCommand(kCmdListen);
  rec.Take();
  logic.OnActivate(false);
  EXPECT_EQ(rec.Take(), (Calls{"StopImage", "StopSpeaker"}));
  logic.OnFocusLost();
  EXPECT_EQ(rec.Take(), (Calls{"StopImage", "StopSpeaker"}));
  EXPECT_TRUE(logic.camera_on());
  EXPECT_TRUE(logic.listen_on());
  logic.OnActivate(true);
  EXPECT_EQ(rec.Take(), (Calls{"StartImage", "StartSpeaker"}));
  logic.OnFocusGained();
  EXPECT_EQ(rec.Take(), (Calls{"StartImage", "StartSpeaker"}));

  // With nothing wished for, returning starts nothing.
  logic.OnCloseRequest();
  rec.Take();
  logic.OnActivate(true);
  EXPECT_TRUE(rec.Take().empty());
}

TEST_F(WindowLogicTest, CloseRequestStopsBothAndClearsBothFlags) {
  logic.OnCommand(kCmdView);
  logic.OnCommand(kCmdListen);
  rec.Take();
  logic.OnCloseRequest();
  EXPECT_EQ(rec.Take(), (Calls{"StopImage", "StopSpeaker"}));
  EXPECT_FALSE(logic.camera_on());
  EXPECT_FALSE(logic.listen_on());
}

TEST_F(WindowLogicTest, CloseCommandDeactivatesThenRequestsClose) {
  logic.OnCommand(kCmdView);
  rec.Take();
  EXPECT_TRUE(logic.OnCommand(kCmdClose));
  EXPECT_EQ(rec.Take(), (Calls{"StopImage", "StopSpeaker", "StopImage", "StopSpeaker"}));
  EXPECT_FALSE(logic.camera_on());
}

TEST_F(WindowLogicTest, EveryWayToTheAboutBox) {
  logic.OnStylusUp(0, 0);
  logic.OnStylusUp(9, 9);
  logic.OnDoubleTap();
  logic.OnCommand(kCmdAbout);
  EXPECT_EQ(rec.Take(), (Calls{"About", "About", "About", "About"}));
  logic.OnStylusUp(10, 9);
  logic.OnStylusUp(9, 10);
  EXPECT_TRUE(rec.Take().empty());
}

TEST_F(WindowLogicTest, ExitEndsTheLoopAtOnceAndOtherCommandsAreNotOurs) {
  EXPECT_TRUE(logic.OnCommand(kCmdExit));
  EXPECT_EQ(rec.Take(), (Calls{"Quit0"}));
  EXPECT_FALSE(logic.OnCommand(12345));
  EXPECT_TRUE(rec.Take().empty());
  EXPECT_TRUE(logic.OnCommand(kCmdCameraUrl));
  EXPECT_TRUE(logic.OnCommand(kCmdDoorSettings));
  EXPECT_TRUE(logic.OnCommand(kCmdVisitors));
  EXPECT_EQ(rec.Take(), (Calls{"UrlDialog", "DoorDialog", "Visitors"}));
}

TEST_F(WindowLogicTest, TalkZoneStartsThenEndsTheProgram) {
  for (auto [x, y] : {std::pair{94, 470}, {231, 470}, {100, 464}, {100, 525}}) {
    logic.OnStylusUp(x, y);  // just outside the zone
  }
  EXPECT_TRUE(rec.Take().empty());

  logic.OnStylusUp(95, 465);
  EXPECT_EQ(rec.Take(), (Calls{"InvalidateTalkZone", "StartTransmit", "StartSpeaker"}));
  EXPECT_TRUE(logic.talking());
  logic.OnStylusUp(230, 524);
  EXPECT_EQ(rec.Take(), (Calls{"StopSpeaker", "StopTransmit", "Destroy"}));
  logic.OnDestroy();
  EXPECT_EQ(rec.Take(), (Calls{"StopSpeaker", "Quit0"}));
}

TEST_F(WindowLogicTest, FarRightZoneStopsTheTalk) {
  logic.OnStylusUp(648, 17);
  EXPECT_EQ(rec.Take(), (Calls{"StopSpeaker", "StopTransmit", "Destroy"}));
  logic.OnStylusUp(647, 17);
  logic.OnStylusUp(730, 65);
  logic.OnStylusUp(700, 66);
  EXPECT_TRUE(rec.Take().empty());
}

// A ring starts what is off, the sound after the chime; unanswered, it stops again what it
// started and the user has not touched since; a talk answers it.
TEST(WindowRingTest, WhatARingStartedStopsAgainUnansweredUnlessTheUserTookIt) {
  struct Case {
    const char* name;
    std::vector<std::string> steps;
    Calls calls;
  };
  const Calls kStartBoth{"StartImage", "Indicator22On", "StartSpeaker", "Indicator97On"};
  const Calls kStopBoth{"StopImage", "Indicator22Off", "StopSpeaker", "Indicator97Off"};
  const auto joined = [](std::initializer_list<Calls> parts) {
    Calls all;
    for (const Calls& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  const Case cases[] = {
      {"both off, unanswered", {"ring", "unanswered"}, joined({kStartBoth, kStopBoth})},
      {"the picture was on already", {"view", "ring", "unanswered"},
       {"StartImage", "Indicator22On", "StartSpeaker", "Indicator97On", "StopSpeaker", "Indicator97Off"}},
      {"the user turned the picture off and on", {"ring", "view", "view", "unanswered"},
       joined({kStartBoth, {"StopImage", "Indicator22Off", "StartImage", "Indicator22On", "StopSpeaker", "Indicator97Off"}})},
      {"answered by a talk", {"ring", "talk", "unanswered"},
       joined({kStartBoth, {"InvalidateTalkZone", "StartTransmit", "StartSpeaker"}})},
      {"the sound waits for the chime", {"ring-chime", "chime-ended", "unanswered"}, joined({kStartBoth, kStopBoth})},
      {"the user started the sound during the chime", {"ring-chime", "listen", "chime-ended", "unanswered"},
       {"StartImage", "Indicator22On", "StartSpeaker", "Indicator97On", "StopImage", "Indicator22Off"}},
      {"unanswered before the chime ended", {"ring-chime", "unanswered", "chime-ended"},
       {"StartImage", "Indicator22On", "StopImage", "Indicator22Off"}},
      {"a chime's end without a ring", {"chime-ended"}, {}},
  };
  for (const Case& c : cases) {
    RecordingActions rec;
    WindowLogic logic(rec);
    for (const std::string& step : c.steps) {
      if (step == "ring") logic.OnRing();
      if (step == "ring-chime") logic.OnRing(true);
      if (step == "chime-ended") logic.OnRingChimeEnded();
      if (step == "unanswered") logic.OnRingUnanswered();
      if (step == "view") logic.OnCommand(kCmdView);
      if (step == "listen") logic.OnCommand(kCmdListen);
      if (step == "talk") logic.OnStylusUp(150, 490);
    }
    EXPECT_EQ(rec.Take(), c.calls) << c.name;
  }
}

// The talk modes of vantorel.ini's [talk]: without it (or with mode = open) a tap starts the
// talk and the next ends the program; push-to-talk keeps one talk through presses and
// pauses, silent and unducked between them, until the menu, the end zone or idle time.
TEST(WindowTalkModeTest, EachModeStartsOneTalkAndEndsItItsOwnWay) {
  struct Case {
    const char* name;
    std::optional<TalkSettings> talk;
    std::vector<std::string> steps;
    Calls calls;
  };
  TalkSettings hold;
  hold.mode = TalkMode::kHold;
  TalkSettings open_ducked;
  open_ducked.duck = true;
  TalkSettings hold_plain = hold;
  hold_plain.idle_s = 5;
  hold_plain.duck = false;
  const Calls kFirstPress{"DisarmIdle", "MicLive", "DuckOn", "InvalidateTalkZone", "StartTransmit", "StartSpeaker"};
  const Calls kRelease{"MicSilent", "DuckOff", "ArmIdle60"};
  const auto joined = [](std::initializer_list<Calls> parts) {
    Calls all;
    for (const Calls& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  const Case cases[] = {
      {"no [talk]: tap, tap", std::nullopt, {"down", "up", "down", "up"},
       {"InvalidateTalkZone", "StartTransmit", "StartSpeaker", "StopSpeaker", "StopTransmit", "Destroy"}},
      {"open, ducked", open_ducked, {"down", "up"},
       {"InvalidateTalkZone", "StartTransmit", "StartSpeaker", "DuckOn"}},
      {"hold: two presses, then idle", hold, {"down", "up", "down", "up", "idle"},
       joined({kFirstPress, kRelease, {"DisarmIdle", "MicLive", "DuckOn"}, kRelease,
               {"DisarmIdle", "StopTransmit", "StopSpeaker", "InvalidateTalkZone"}})},
      {"hold, no duck: the menu ends it, listening stays",
       hold_plain, {"listen", "down", "up", "end"},
       {"StartSpeaker", "Indicator97On", "DisarmIdle", "MicLive", "InvalidateTalkZone", "StartTransmit",
        "StartSpeaker", "MicSilent", "ArmIdle5", "DisarmIdle", "StopTransmit", "InvalidateTalkZone"}},
      {"hold: idle while held does nothing; leaving releases", hold, {"down", "idle", "leave"},
       joined({kFirstPress, kRelease, {"StopImage", "StopSpeaker"}})},
      {"hold: a quick second press is no about box", hold, {"down", "up", "down", "double"},
       joined({kFirstPress, kRelease, {"DisarmIdle", "MicLive", "DuckOn"}})},
      {"hold: the end zone or the menu without a talk", hold, {"end-zone", "end", "idle"}, {}},
  };
  for (const Case& c : cases) {
    RecordingActions rec;
    WindowLogic logic(rec);
    if (c.talk) logic.SetTalk(*c.talk);
    for (const std::string& step : c.steps) {
      if (step == "down") logic.OnStylusDown(150, 490);
      if (step == "up") logic.OnStylusUp(150, 490);
      if (step == "double") logic.OnDoubleTap();
      if (step == "idle") logic.OnTalkIdle();
      if (step == "end") logic.OnCommand(kCmdEndTalk);
      if (step == "end-zone") logic.OnStylusUp(700, 40);
      if (step == "leave") logic.OnFocusLost();
      if (step == "listen") logic.OnCommand(kCmdListen);
    }
    EXPECT_EQ(rec.Take(), c.calls) << c.name;
  }
}

}  // namespace
}  // namespace vantorel
