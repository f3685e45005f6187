#include "app/window_logic.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(rec.Take(), (Calls{"UrlDialog"}));
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

}  // namespace
}  // namespace vantorel
