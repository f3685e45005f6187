// The station's workers as the window and the CLI use them: starts and stops that return
// at once, prompt stops whatever the camera does, never two runs of one worker, and a
// station whose destruction ends every thread.

#include "station/station.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "audio_rx/receive_test_support.h"
#include "camsim/jpeg_encode.h"
#include "door/visitors.h"
#include "files/file_bytes.h"
#include "station/retry_loop.h"
#include "support/wait_for.h"

namespace vantorel {
namespace {

using camsim::Fault;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

using test::WaitFor;

class StationListenTest : public testing::Test {
 protected:
  size_t Frames() { return log_->Locked([&] { return log_->frames; }); }
  std::vector<std::string> Calls() { return log_->Locked([&] { return log_->calls; }); }
  // Requests the stop and measures how long the listen worker takes to end.
  milliseconds TimeToStop() {
    const auto start = Clock::now();
    station_.StopListening();
    EXPECT_TRUE(station_.WaitStopped(StationWorker::kListen, start + milliseconds(1000)));
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
  }
  bool Ended(milliseconds limit = milliseconds(10000)) {
    return station_.WaitStopped(StationWorker::kListen, Clock::now() + limit);
  }

  std::shared_ptr<SinkLog> log_ = std::make_shared<SinkLog>();
  Station station_;
};

TEST_F(StationListenTest, AStartPlaysTheStreamUntilAStopEndsItPromptly) {
  const auto camera = AudioCamera({}, &station_.settings());  // endless, one part per 50 ms
  ASSERT_TRUE(camera);
  station_.StartListening(RecordingSink(log_));
  station_.StartListening(RecordingSink(log_));  // already running: nothing happens
  ASSERT_TRUE(WaitFor([&] { return Frames() >= 4; }));
  EXPECT_EQ(station_.Status(StationWorker::kListen).state, WorkerState::kRunning);
  EXPECT_LT(TimeToStop(), milliseconds(1000));
  EXPECT_EQ(station_.Status(StationWorker::kListen).state, WorkerState::kIdle);
  const size_t frames = Frames();
  EXPECT_EQ(log_->samples, Decoded(SentFrames(camsim::DoorChime(), 0, static_cast<int>(frames))));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"open", "close"}));
  EXPECT_EQ(camera->stats().requests, 1);
}

TEST_F(StationListenTest, AStopTakesEffectWhileTheCameraSendsNothing) {
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
    const auto camera = AudioCamera(o, &station_.settings());
    ASSERT_TRUE(camera);
    log_ = std::make_shared<SinkLog>();
    station_.StartListening(RecordingSink(log_));
    ASSERT_TRUE(WaitFor([&] { return camera->stats().requests >= 1 && Frames() >= static_cast<size_t>(c.parts); }))
        << c.name;
    std::this_thread::sleep_for(milliseconds(150));  // the worker now waits in a read
    EXPECT_LT(TimeToStop(), milliseconds(1000)) << c.name;
    EXPECT_EQ(Frames(), static_cast<size_t>(c.parts)) << c.name;
  }
}

TEST_F(StationListenTest, ASessionThatEndsByItselfCanBeStartedAgainAndAFailureKeepsItsReason) {
  camsim::Options o;
  o.audio_parts = 3;
  o.audio_part_interval = milliseconds(0);
  const auto camera = AudioCamera(o, &station_.settings());
  ASSERT_TRUE(camera);
  station_.StartListening(RecordingSink(log_));
  ASSERT_TRUE(Ended());
  EXPECT_EQ(Frames(), 3u);
  station_.StartListening(RecordingSink(log_));
  ASSERT_TRUE(Ended());
  EXPECT_EQ(Frames(), 6u);
  EXPECT_EQ(camera->stats().requests, 2);

  station_.settings().SetReceiveUrl("ftp://127.0.0.1/axis-cgi/audio/receive.cgi");
  station_.StartListening(RecordingSink(log_));
  ASSERT_TRUE(Ended());
  const WorkerStatus failed = station_.Status(StationWorker::kListen);
  EXPECT_EQ(failed.state, WorkerState::kFailed);
  EXPECT_EQ(failed.failure.reason, FailureReason::kCannotConnect);
}

TEST_F(StationListenTest, ARestartWhileTheLastRunIsStillEndingWaitsForItWithoutBlockingTheCaller) {
  const auto camera = AudioCamera({}, &station_.settings());
  ASSERT_TRUE(camera);
  log_->close_delay = milliseconds(300);  // a device slow to close
  station_.StartListening(RecordingSink(log_));
  ASSERT_TRUE(WaitFor([&] { return Frames() >= 2; }));
  const auto start = Clock::now();
  station_.StopListening();
  station_.StartListening(RecordingSink(log_));
  EXPECT_LT(Clock::now() - start, milliseconds(100));  // neither call waited for the close
  EXPECT_EQ(Calls(), std::vector<std::string>{"open"});  // the first is still closing
  ASSERT_TRUE(WaitFor([&] { return Calls().size() == 3; }));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"open", "close", "open"}));
  EXPECT_EQ(log_->Locked([&] { return log_->most_open; }), 1);
  const size_t before = Frames();
  ASSERT_TRUE(WaitFor([&] { return Frames() >= before + 2; }));  // the second session plays
}

TEST_F(StationListenTest, RapidStartsAndStopsFromTwoThreadsNeverRunTwoSessions) {
  const auto camera = AudioCamera({}, &station_.settings());
  ASSERT_TRUE(camera);
  log_->close_delay = milliseconds(2);
  auto churn = [this](unsigned seed) {
    std::mt19937 random(seed);
    for (int i = 0; i < 150; ++i) {
      if (random() % 2) {
        station_.StartListening(RecordingSink(log_));
      } else {
        station_.StopListening();
      }
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    }
  };
  std::thread a(churn, 1), b(churn, 2);
  a.join();
  b.join();
  station_.StopListening();
  ASSERT_TRUE(Ended());
  // Never two at once; on a slow machine no start may have lived long enough to open one.
  EXPECT_LE(log_->Locked([&] { return log_->most_open; }), 1);
  EXPECT_EQ(log_->Locked([&] { return log_->open_now; }), 0);
  const auto calls = Calls();
  for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i], i % 2 ? "close" : "open") << i;
}

// A listener that stays on comes back after the camera drops or silences the stream; a
// refused sign-in or a wrong path is shown instead of retried.
TEST_F(StationListenTest, ListeningComesBackAfterADropOrASilenceAndNotAfterARefusal) {
  for (const bool silence : {false, true}) {
    camsim::Options o;
    (silence ? o.audio_silence_after : o.audio_drop_after) = 4;
    const auto camera = AudioCamera(o, &station_.settings());
    ASSERT_TRUE(camera);
    log_ = std::make_shared<SinkLog>();
    station_.StartListening(RecordingSink(log_), {.reconnect = true, .too_fast = {}});
    // A silence counts as a drop after 3 s without a byte; the next stream is served again,
    // 0.5 s later (4 parts of 50 ms, 3 s, the pause: well under 5 s, where an averaged
    // low-speed check took 6 to 9 s).
    const auto began = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return camera->stats().requests >= 2 && Frames() >= 6; }, milliseconds(15000)))
        << (silence ? "silence" : "drop");
    EXPECT_LT(std::chrono::steady_clock::now() - began, milliseconds(5000)) << (silence ? "silence" : "drop");
    EXPECT_LT(TimeToStop(), milliseconds(1000));
  }
  // Refusals, each ended after a challenge or two: a wrong password, a wrong path, a camera
  // that calls every right answer stale, and one that asks for Basic (the password readable)
  // once Digest has worked, which the station refuses to send.
  struct Refusal {
    std::string url_suffix;
    FailureReason cause;
    bool always_stale = false;
    bool basic_after_digest = false;
  };
  for (const Refusal& r : {Refusal{"admin:wrong@HOST" + std::string(kReceivePath), FailureReason::kSignInRefused},
                           Refusal{"admin:secret@HOST/no/such/path", FailureReason::kNotFound},
                           Refusal{"admin:secret@HOST" + std::string(kReceivePath), FailureReason::kSignInRefused,
                                   true, false},
                           Refusal{"admin:secret@HOST" + std::string(kReceivePath), FailureReason::kUnsafeSignIn,
                                   false, true}}) {
    camsim::Options signed_in;
    signed_in.sign_in.account = "admin:secret";
    signed_in.sign_in.always_stale = r.always_stale;
    signed_in.sign_in.basic_after_digest = r.basic_after_digest;
    signed_in.audio_drop_after = 4;  // the stream drops, so that the station signs in anew
    const auto camera = AudioCamera(signed_in);
    ASSERT_TRUE(camera);
    std::string url = "http://" + r.url_suffix;
    url.replace(url.find("HOST"), 4, "127.0.0.1:" + std::to_string(camera->port()));
    station_.settings().SetReceiveUrl(url);
    station_.StartListening(RecordingSink(log_), {.reconnect = true, .too_fast = {}});
    ASSERT_TRUE(Ended()) << url;
    const WorkerStatus status = station_.Status(StationWorker::kListen);
    EXPECT_EQ(status.failure.reason, r.cause) << url;
    EXPECT_EQ(status.failure.detail.find("secret"), std::string::npos) << status.failure.detail;
    // A challenge, then no retry; the step down to Basic after one stream and its challenge.
    EXPECT_LE(camera->stats().requests, r.basic_after_digest ? 4 : 3) << url;
  }
}

// An output that played and does not open after a drop (another sound holds a device that
// opens once) is asked again; one that never opened ends the listen at once.
TEST_F(StationListenTest, AnOutputBusyAfterADropIsAskedAgainButOneThatNeverOpenedEndsTheListen) {
  camsim::Options o;
  o.audio_drop_after = 4;
  const auto camera = AudioCamera(o, &station_.settings());
  ASSERT_TRUE(camera);
  station_.StartListening(RecordingSink(log_), {.reconnect = true, .too_fast = {}});
  ASSERT_TRUE(WaitFor([&] { return Frames() >= 2; }));
  log_->Locked([&] { return log_->open_result = false; });
  ASSERT_TRUE(WaitFor([&] { return Calls().size() >= 3; }, milliseconds(5000)));  // open, close, refused open
  EXPECT_FALSE(Ended(milliseconds(1500))) << "a busy output ended the listen";
  log_->Locked([&] { return log_->open_result = true; });
  const size_t before = Frames();
  ASSERT_TRUE(WaitFor([&] { return Frames() >= before + 2; }, milliseconds(10000)));
  EXPECT_LT(TimeToStop(), milliseconds(1000));

  log_ = std::make_shared<SinkLog>();
  log_->open_result = false;
  station_.StartListening(RecordingSink(log_), {.reconnect = true, .too_fast = {}});
  ASSERT_TRUE(Ended());
  EXPECT_EQ(station_.Status(StationWorker::kListen).failure.reason, FailureReason::kNoAudioDevice);
}

// Pauses double to their most after failures in a row, and start over after a success or
// an attempt that ran for the policy's good running time.
TEST(RetryPauseTest, DoublesToItsMostAndStartsOverAfterAGoodRun) {
  for (const RetryPolicy& policy : {kStreamPolicy, kButtonPolicy}) {
    RetryPause pause(policy);
    std::vector<long> pauses;
    for (int i = 0; i < 6; ++i) pauses.push_back(static_cast<long>(pause.After(Clock::now()).count()));
    EXPECT_EQ(pauses, (std::vector<long>{500, 1000, 2000, 4000, 8000, 8000}));
    const auto short_of_good = Clock::now() - policy.good_running + std::chrono::seconds(1);
    EXPECT_EQ(pause.After(short_of_good).count(), 8000);
    EXPECT_EQ(pause.After(Clock::now() - policy.good_running).count(), 500);
    pause.After(Clock::now());
    pause.Succeeded();
    EXPECT_EQ(pause.After(Clock::now()).count(), 500);
  }
}

TEST(StationTest, DestructionEndsEveryWorkerAgainstACameraThatNeverAnswers) {
  camsim::Options o;
  o.fault = Fault::kStall;
  camsim::Server camera(o);
  ASSERT_TRUE(camera.Start());
  const auto start = Clock::now();
  {
    Station station;
    station.settings().SetCameraUrls(UrlsForAddress("127.0.0.1:" + std::to_string(camera.port())));
    station.StartPicture();
    station.StartListening(RecordingSink(std::make_shared<SinkLog>()));
    station.StartTalk({.open_microphone = false});
    ASSERT_TRUE(WaitFor([&] { return camera.stats().requests >= 3; }));
    // The window thread's part: each stop returns at once.
    const auto stops = Clock::now();
    station.StopPicture();
    station.StopListening();
    station.StopTalk();
    EXPECT_LT(Clock::now() - stops, milliseconds(50));
  }
  EXPECT_LT(Clock::now() - start, milliseconds(5000));
}

// The door against a camera whose call button is pressed: each press is a ring, reported
// first; the chime plays (not in quiet hours) and the camera's JPEG is kept byte for byte.
// An older camera (no port.cgi) is watched through input.cgi, and a dropped stream comes back.

// An output that plays what it is given at once; counts the pieces.
class InstantOutput : public AudioOutput {
 public:
  explicit InstantOutput(std::atomic<int>* pieces) : pieces_(*pieces) {}
  bool Write(std::span<const int16_t>) override {
    ++pieces_;
    return true;
  }
  int PendingWrites() const override { return 0; }

 private:
  std::atomic<int>& pieces_;
};

struct DoorLog {
  std::mutex mutex;
  std::vector<DoorEvent> events;
  int Count(DoorEvent::Kind kind) {
    std::lock_guard lock(mutex);
    return static_cast<int>(std::count_if(events.begin(), events.end(), [kind](const DoorEvent& e) { return e.kind == kind; }));
  }
  DoorEvent::Kind First() {
    std::lock_guard lock(mutex);
    return events.at(0).kind;
  }
  std::vector<std::string> Kept() {
    std::lock_guard lock(mutex);
    std::vector<std::string> paths;
    for (const DoorEvent& e : events) {
      if (e.kind == DoorEvent::Kind::kVisitorKept) paths.push_back(e.path);
    }
    return paths;
  }
};

TEST(StationDoorTest, APressRingsChimesUnlessQuietAndKeepsTheCamerasJpeg) {
  std::vector<uint8_t> pixels(64 * 48 * 3, 90);
  const std::string still = camsim::EncodeJpeg(pixels.data(), 64, 48, camsim::JpegKind::kColour);
  char pattern[] = "/tmp/vantorel-door-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  for (const bool quiet : {false, true}) {
    camsim::Options o;
    o.stills = {still};
    o.refuse_every = 2;  // the second ring's first still is refused (503): it is asked again
    o.io.ring_at = {milliseconds(1000), milliseconds(2500)};  // the watch is on before the first, also when slow
    o.io.heartbeat = milliseconds(200);
    camsim::Server camera(o);
    ASSERT_TRUE(camera.Start());
    DoorLog log;
    std::atomic<int> chime_pieces{0};
    StationObserver observer;
    observer.door = [&log](const DoorEvent& e) {
      std::lock_guard lock(log.mutex);
      log.events.push_back(e);
    };
    Station station(observer, {.output = [&chime_pieces](std::string&) { return std::make_unique<InstantOutput>(&chime_pieces); },
                               .input = OpenSdlAudioInput});
    station.settings().SetImageUrl(camera.Url() + "/axis-cgi/jpg/image.cgi");
    DoorOptions options;
    options.button = 1;
    options.visitors_dir = std::string(pattern) + (quiet ? "/quiet" : "/loud");
    if (quiet) options.quiet = QuietHours{0, 1440};
    station.door().Start(options);
    ASSERT_TRUE(WaitFor([&] { return log.Kept().size() == 2; }, milliseconds(30000))) << "quiet " << quiet;
    EXPECT_EQ(log.Count(DoorEvent::Kind::kRing), 2);
    EXPECT_EQ(station.Status(StationWorker::kDoor).state, WorkerState::kRunning);
    EXPECT_EQ(log.First(), DoorEvent::Kind::kRing);  // before the chime and the still
    EXPECT_EQ(log.Count(DoorEvent::Kind::kChimeStarted) > 0, !quiet) << "quiet " << quiet;
    for (const std::string& path : log.Kept()) {
      std::string kept, error;
      ASSERT_TRUE(ReadFileBytes(path, kept, error)) << error;
      EXPECT_EQ(kept, still) << path;
    }
  }
  std::filesystem::remove_all(pattern);
}

TEST(StationDoorTest, AnOlderCameraIsWatchedThroughInputCgiAndADroppedStreamComesBack) {
  camsim::Options o;
  o.io.no_port_cgi = true;
  o.io.monitor_drop = milliseconds(400);
  o.io.ring_at = {milliseconds(1000)};  // on the second stream: 0.9 s to 1.3 s
  camsim::Server camera(o);
  ASSERT_TRUE(camera.Start());
  DoorLog log;
  StationObserver observer;
  observer.door = [&log](const DoorEvent& e) {
    std::lock_guard lock(log.mutex);
    log.events.push_back(e);
  };
  Station station(observer);
  station.settings().SetImageUrl(camera.Url() + "/axis-cgi/jpg/image.cgi");
  DoorOptions options;
  options.button = 1;
  options.chime_enabled = false;
  options.keep_visitors = false;
  station.door().Start(options);
  ASSERT_TRUE(WaitFor([&] { return log.Count(DoorEvent::Kind::kRing) == 1; }));
  EXPECT_GE(camera.stats().io.monitor_streams, 2);  // dropped at 0.4 s, back after 0.5 s
  const auto stop = Clock::now();
  station.door().Stop();
  EXPECT_TRUE(station.WaitStopped(StationWorker::kDoor, stop + milliseconds(1000)));
}

}  // namespace
}  // namespace vantorel
