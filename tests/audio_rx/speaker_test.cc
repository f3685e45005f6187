// Starting and stopping the receive worker: the flag's rules, prompt stops whatever the
// camera does, and never two sessions at once.

#include "audio_rx/speaker.h"

#include <gtest/gtest.h>

#include <random>

#include "receive_test_support.h"
#include "support/wait_for.h"

namespace vantorel {
namespace {

using camsim::Fault;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

using test::WaitFor;

milliseconds TimeToStop() {
  const auto start = Clock::now();
  StopSpeaker();
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

class SpeakerTest : public testing::Test {
 protected:
  void TearDown() override {
    JoinSpeaker();
    ResetCameraUrls();
  }
  size_t Frames() { return log_->Locked([&] { return log_->frames.size(); }); }
  std::vector<std::string> Calls() { return log_->Locked([&] { return log_->calls; }); }

  std::shared_ptr<SinkLog> log_ = std::make_shared<SinkLog>();
};

TEST_F(SpeakerTest, AStartPlaysTheStreamUntilAStopEndsItPromptly) {
  const auto camera = AudioCamera({});  // endless, one part per 50 ms
  ASSERT_TRUE(camera);
  EXPECT_FALSE(SpeakerRunning());
  EXPECT_EQ(StartSpeaker(RecordingSink(log_)), 1);
  EXPECT_TRUE(SpeakerRunning());
  EXPECT_EQ(StartSpeaker(RecordingSink(log_)), 0);  // already running: nothing happens
  ASSERT_TRUE(WaitFor([&] { return Frames() >= 4; }));
  EXPECT_LT(TimeToStop(), milliseconds(1000));
  EXPECT_FALSE(SpeakerRunning());
  EXPECT_EQ(WaitSpeakerEnd(milliseconds(0)), 0);  // ended within the stop, normally
  const size_t frames = Frames();
  EXPECT_EQ(log_->frames, SentFrames(camsim::DoorChime(), 0, static_cast<int>(frames)));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"open", "close"}));
  EXPECT_EQ(camera->stats().requests, 1);
}

TEST_F(SpeakerTest, AStopTakesEffectWhileTheCameraSendsNothing) {
  struct Case {
    const char* name;
    Fault fault;
    int parts;
  };
  for (const Case& c : {Case{"stall before the reply", Fault::kStall, 0}, Case{"stall after 3 parts", Fault::kStall, 3},
                        Case{"drip", Fault::kDrip, 0}, Case{"slow", Fault::kSlow, 0}}) {
    camsim::Options o;
    o.fault = c.fault;
    o.audio_parts = c.parts;
    o.drip_gap = milliseconds(300);
    o.slow_delay = milliseconds(5000);
    const auto camera = AudioCamera(o);
    ASSERT_TRUE(camera);
    log_ = std::make_shared<SinkLog>();
    ASSERT_EQ(StartSpeaker(RecordingSink(log_)), 1) << c.name;
    ASSERT_TRUE(WaitFor([&] { return camera->stats().requests >= 1 && Frames() >= static_cast<size_t>(c.parts); }))
        << c.name;
    std::this_thread::sleep_for(milliseconds(150));  // the worker now waits in a read
    EXPECT_LT(TimeToStop(), milliseconds(1000)) << c.name;
    EXPECT_EQ(WaitSpeakerEnd(milliseconds(0)), 0) << c.name;
    EXPECT_EQ(Frames(), static_cast<size_t>(c.parts)) << c.name;
  }
}

TEST_F(SpeakerTest, AfterASessionEndsByItselfTheFlagStaysUntilAStopRequest) {
  camsim::Options o;
  o.audio_parts = 3;
  o.audio_part_interval = milliseconds(0);
  const auto camera = AudioCamera(o);
  ASSERT_TRUE(camera);
  ASSERT_EQ(StartSpeaker(RecordingSink(log_)), 1);
  EXPECT_EQ(WaitSpeakerEnd(milliseconds(10000)), 0);
  EXPECT_EQ(Frames(), 3u);
  EXPECT_TRUE(SpeakerRunning());
  EXPECT_EQ(StartSpeaker(RecordingSink(log_)), 0);
  RequestSpeakerStop();
  EXPECT_FALSE(SpeakerRunning());
  ASSERT_EQ(StartSpeaker(RecordingSink(log_)), 1);
  EXPECT_EQ(WaitSpeakerEnd(milliseconds(10000)), 0);
  EXPECT_EQ(Frames(), 6u);
  EXPECT_EQ(camera->stats().requests, 2);

  // A failed start keeps the flag too.
  RequestSpeakerStop();
  SetReceiveUrl("ftp://127.0.0.1/axis-cgi/audio/receive.cgi");
  ASSERT_EQ(StartSpeaker(RecordingSink(log_)), 1);
  EXPECT_EQ(WaitSpeakerEnd(milliseconds(10000)), -1);
  EXPECT_TRUE(SpeakerRunning());
  EXPECT_EQ(StartSpeaker(RecordingSink(log_)), 0);
}

TEST_F(SpeakerTest, ARestartWhileTheLastWorkerIsStillEndingWaitsForItWithoutBlockingTheCaller) {
  const auto camera = AudioCamera({});
  ASSERT_TRUE(camera);
  log_->close_delay = milliseconds(300);  // a device slow to close
  ASSERT_EQ(StartSpeaker(RecordingSink(log_)), 1);
  ASSERT_TRUE(WaitFor([&] { return Frames() >= 2; }));
  RequestSpeakerStop();
  ASSERT_EQ(StartSpeaker(RecordingSink(log_)), 1);
  EXPECT_EQ(Calls(), std::vector<std::string>{"open"});  // the first is still closing
  ASSERT_TRUE(WaitFor([&] { return Calls().size() == 3; }));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"open", "close", "open"}));
  EXPECT_EQ(log_->Locked([&] { return log_->most_open; }), 1);
  const size_t before = Frames();
  ASSERT_TRUE(WaitFor([&] { return Frames() >= before + 2; }));  // the second session plays
}

TEST_F(SpeakerTest, RapidStartsAndStopsFromTwoThreadsNeverRunTwoSessions) {
  const auto camera = AudioCamera({});
  ASSERT_TRUE(camera);
  log_->close_delay = milliseconds(2);
  auto churn = [this](unsigned seed) {
    std::mt19937 random(seed);
    for (int i = 0; i < 150; ++i) {
      switch (random() % 3) {
        case 0:
          StartSpeaker(RecordingSink(log_));
          break;
        case 1:
          RequestSpeakerStop();
          break;
        default:
          StopSpeaker();
      }
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    }
  };
  std::thread a(churn, 1), b(churn, 2);
  a.join();
  b.join();
  JoinSpeaker();
  EXPECT_EQ(log_->Locked([&] { return log_->most_open; }), 1);
  EXPECT_EQ(log_->Locked([&] { return log_->open_now; }), 0);
  const auto calls = Calls();
  for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i], i % 2 ? "close" : "open") << i;
}

TEST_F(SpeakerTest, StopGivesUpAfterASecondAndJoinSpeakerWaitsForTheRest) {
  const auto camera = AudioCamera({});
  ASSERT_TRUE(camera);
  log_->close_delay = milliseconds(1500);
  ASSERT_EQ(StartSpeaker(RecordingSink(log_)), 1);
  ASSERT_TRUE(WaitFor([&] { return Frames() >= 1; }));
  const milliseconds waited = TimeToStop();
  EXPECT_GE(waited, milliseconds(990));
  EXPECT_LT(waited, milliseconds(1400));  // not the 1500 ms of the close
  EXPECT_EQ(WaitSpeakerEnd(milliseconds(0)), std::nullopt);  // still closing its output
  JoinSpeaker();
  EXPECT_EQ(WaitSpeakerEnd(milliseconds(0)), 0);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"open", "close"}));
}

}  // namespace
}  // namespace vantorel
