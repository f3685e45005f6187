// One listening session against the simulated camera: which frames reach the output, in
// which order, decoded by which state, and how a session starts and ends.

#include "audio_rx/receive_worker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <tuple>

#include "codec/fit_sample_count.h"
#include "fake_audio_output.h"
#include "receive_test_support.h"

namespace vantorel {
namespace {

using camsim::Fault;
using std::chrono::milliseconds;

const std::vector<int16_t> kChime = camsim::DoorChime();

camsim::Options Stream(int parts, unsigned audio_faults = 0, Fault fault = Fault::kNone) {
  camsim::Options o;
  o.audio_parts = parts;
  o.audio_faults = audio_faults;
  o.fault = fault;
  o.audio_part_interval = milliseconds(0);
  o.drip_gap = std::chrono::microseconds(20);
  return o;
}

class ReceiveWorkerTest : public testing::Test {
 protected:
  // Points the session at `camera`'s audio stream.
  std::unique_ptr<camsim::Server> AudioCamera(camsim::Options options) {
    auto camera = vantorel::AudioCamera(std::move(options));
    if (camera) url_ = ReceiveUrlOf(*camera);
    return camera;
  }
  Failure Run() { return ReceiveWorker(CancelToken::Create(), url_, RecordingSink(log_)); }

  std::string url_;
  std::vector<std::string> Calls() { return log_->Locked([&] { return log_->calls; }); }

  std::shared_ptr<SinkLog> log_ = std::make_shared<SinkLog>();
};

TEST_F(ReceiveWorkerTest, EveryFrameArrivesInOrderAndDecodesWithOneStateForTheSession) {
  const auto camera = AudioCamera(Stream(30));
  ASSERT_TRUE(camera);
  EXPECT_EQ(Run().reason, FailureReason::kNone);  // the stream's end is a normal end
  const auto sent = SentFrames(kChime, 0, 30);
  EXPECT_EQ(log_->frames, sent.size());
  EXPECT_EQ(log_->samples, Decoded(sent));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"open", "close"}));
  EXPECT_EQ(camera->stats().last_user_agent, "Halvicor Speaker read.");
  EXPECT_EQ(camera->stats().requests, 1);
}

TEST_F(ReceiveWorkerTest, WhateverLiesBetweenThePartsAndHoweverTheyAreCutTheFramesStayExact) {
  struct Case {
    const char* name;
    unsigned audio_faults;
    Fault fault;
  };
  for (const Case& c : {Case{"garbage", camsim::kAudioGarbage, Fault::kNone},
                        Case{"split", camsim::kAudioSplit, Fault::kNone},
                        Case{"zeros", camsim::kAudioZeros, Fault::kNone},
                        Case{"all three", camsim::kAudioGarbage | camsim::kAudioSplit | camsim::kAudioZeros, Fault::kNone},
                        Case{"drip", camsim::kAudioGarbage, Fault::kDrip}}) {
    log_ = std::make_shared<SinkLog>();
    const auto camera = AudioCamera(Stream(12, c.audio_faults, c.fault));
    ASSERT_TRUE(camera);
    EXPECT_FALSE(Run().failed()) << c.name;
    EXPECT_EQ(log_->samples, Decoded(SentFrames(kChime, c.audio_faults, 12))) << c.name;
  }
}

// A 440 Hz tone at half scale, as the camera's microphone hears it.
std::vector<int16_t> Tone() {
  std::vector<int16_t> tone(8000);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(16384 * std::sin(2 * M_PI * 440 * i / 8000.0));
  return tone;
}

// Every dialect a camera speaks gives its sound at its pitch and level: the design's parts,
// with Content-Length after the type, today's singlepart mu-law, G.726-32 alone and in parts,
// mu-law in parts.
TEST_F(ReceiveWorkerTest, EveryDialectGivesTheCamerasSoundAtItsPitchAndLevel) {
  struct Case {
    const char* name;
    camsim::Firmware firmware;
    bool length_after_type;
    const char* query;
  };
  const Case cases[] = {
      {"design", camsim::Firmware::kDesign, false, ""},
      {"design, length after type", camsim::Firmware::kDesign, true, ""},
      {"current, singlepart mu-law", camsim::Firmware::kCurrent, false, ""},
      {"current, singlepart G.726-32", camsim::Firmware::kCurrent, false, "?audiocodec=g726"},
      {"current, G.726-32 parts", camsim::Firmware::kCurrent, false, "?httptype=multipart&audiocodec=g726"},
      {"current, mu-law parts", camsim::Firmware::kCurrent, false, "?httptype=multipart"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log_ = std::make_shared<SinkLog>();
    camsim::Options o = Stream(0);
    o.audio_in = Tone();
    o.audio_part_interval = milliseconds(50);  // real time: the listener caps what runs ahead
    o.current.firmware = c.firmware;
    o.current.length_after_type = c.length_after_type;
    const auto camera = AudioCamera(o);
    ASSERT_TRUE(camera);
    url_ += c.query;
    const auto stop = CancelToken::Create();
    std::thread stopper([&] {
      std::this_thread::sleep_for(milliseconds(1500));  // room for a slow start (sanitizers)
      stop->Cancel();
    });
    ReceiveWorker(stop, url_, RecordingSink(log_));
    stopper.join();
    const std::vector<int16_t> heard = log_->Locked([&] { return log_->samples; });
    ASSERT_GE(heard.size(), 4000u);
    // Past the coder's first moments: crossings give the pitch, the mean square the level.
    int crossings = 0;
    double power = 0;
    for (size_t i = 2000; i < heard.size(); ++i) {
      crossings += (heard[i - 1] < 0) != (heard[i] < 0);
      power += double{1} * heard[i] * heard[i];
    }
    const double seconds = (heard.size() - 2000) / 8000.0;
    EXPECT_NEAR(crossings / seconds / 2, 440, 10);
    EXPECT_NEAR(std::sqrt(power / (heard.size() - 2000)), 16384 / std::sqrt(2.0), 800);
  }
}

TEST_F(ReceiveWorkerTest, AConnectionCutInsideAPartEndsTheSessionNormallyWithoutTheHalfFrame) {
  const auto camera = AudioCamera(Stream(5, 0, Fault::kCloseMidBody));
  ASSERT_TRUE(camera);
  EXPECT_EQ(Run().reason, FailureReason::kNone);  // a stream without a length ends with its connection
  EXPECT_EQ(log_->samples, Decoded(SentFrames(kChime, 0, 5)));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"open", "close"}));
}

// An error page ends the session at once, the output never opened; an empty stream opens
// and closes it.
TEST_F(ReceiveWorkerTest, ErrorPagesAndEmptyBodiesHoldNoFramesAndSayWhy) {
  const std::vector<std::string> none, opened = {"open", "close"};
  for (const auto& [fault, reason, calls] : {std::tuple{Fault::kNotFound, FailureReason::kErrorStatus, none},
                                             std::tuple{Fault::kServerError, FailureReason::kErrorStatus, none},
                                             std::tuple{Fault::kEmpty, FailureReason::kNone, opened}}) {
    log_ = std::make_shared<SinkLog>();
    const auto camera = AudioCamera(Stream(0, 0, fault));
    ASSERT_TRUE(camera);
    EXPECT_EQ(Run().reason, reason) << camsim::FaultName(fault);
    EXPECT_TRUE(log_->frames == 0) << camsim::FaultName(fault);
    EXPECT_EQ(Calls(), calls) << camsim::FaultName(fault);
  }
}

TEST_F(ReceiveWorkerTest, ACameraThatCannotBeReachedIsAFailedStartAndTheOutputStaysClosed) {
  int port;
  {
    camsim::Server gone({});
    ASSERT_TRUE(gone.Start());
    port = gone.port();
  }
  for (const std::string& url : {"http://127.0.0.1:" + std::to_string(port) + kReceivePath,
                                std::string("ftp://127.0.0.1/axis-cgi/audio/receive.cgi"), std::string("")}) {
    url_ = url;
    const Failure failure = ReceiveWorker(CancelToken::Create(), url_, RecordingSink(log_));
    EXPECT_EQ(failure.reason, FailureReason::kCannotConnect) << url;
    EXPECT_FALSE(failure.detail.empty()) << url;
  }
  EXPECT_TRUE(Calls().empty());
}

TEST_F(ReceiveWorkerTest, AnOutputThatDoesNotOpenIsAFailedStart) {
  const auto camera = AudioCamera(Stream(5));
  ASSERT_TRUE(camera);
  log_->open_result = false;
  EXPECT_EQ(Run().reason, FailureReason::kNoAudioDevice);
  EXPECT_EQ(Calls(), std::vector<std::string>{"open"});  // never closed: it never opened
  EXPECT_TRUE(log_->frames == 0);
}

TEST_F(ReceiveWorkerTest, AStopBeforeTheSessionBeginsEndsItWithoutOpeningTheOutput) {
  const auto camera = AudioCamera(Stream(5));
  ASSERT_TRUE(camera);
  const auto stop = CancelToken::Create();
  stop->Cancel();
  EXPECT_EQ(ReceiveWorker(stop, url_, RecordingSink(log_)).reason, FailureReason::kStopped);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(ReceiveWorkerTest, ThroughPlaybackTheDeviceGetsTheDecodedBlocksBitExact) {
  const auto camera = AudioCamera(Stream(9));
  ASSERT_TRUE(camera);
  FakeOutputLog device;
  const AudioOutputOpener fake = [&device](std::string&) -> std::unique_ptr<AudioOutput> {
    return std::make_unique<FakeAudioOutput>(&device);
  };
  Playback playback;
  EXPECT_EQ(ReceiveWorker(CancelToken::Create(), url_, PlaybackSink(playback, fake)).reason, FailureReason::kNone);

  // Nine frames hand on blocks 0 to 3; the device finishes none of them before the end,
  // so block b plays with b buffers waiting: shortened by b*(b+1) samples.
  const auto decoded = Decoded(SentFrames(kChime, 0, 9));
  ASSERT_EQ(device.written.size(), 4u);
  for (size_t b = 0; b < 4; ++b) {
    std::vector<int16_t> expected(kPlayBlockSamples - b * (b + 1));
    FitSampleCount(expected.data(), decoded.data() + b * kPlayBlockSamples, static_cast<int>(expected.size()),
                   kPlayBlockSamples);
    EXPECT_EQ(device.written[b], expected) << "block " << b;
  }
  EXPECT_EQ(device.closes, 1);
}

}  // namespace
}  // namespace vantorel
