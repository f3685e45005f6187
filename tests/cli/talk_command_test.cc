// vantorel-cli talk: a recording goes to the simulated camera whole, in order, converted to
// 8000 Hz mono, and failures say what went wrong.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/failure_text.h"
#include "../audio_tx/transmit_test_support.h"
#include "camsim/server.h"
#include "runtime/failure.h"
#include "files/wav_file.h"

namespace vantorel {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status;
  std::string out;
  std::string err;
};

// 16-bit PCM WAV of any rate and channel count, interleaved.
void WriteWav(const std::string& path, int rate, int channels, const std::vector<int16_t>& frames) {
  auto u32 = [](std::string& s, uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [](std::string& s, uint16_t v) { s.append(reinterpret_cast<const char*>(&v), 2); };
  const auto data_bytes = static_cast<uint32_t>(frames.size() * 2);
  std::string f = "RIFF";
  u32(f, 36 + data_bytes);
  f += "WAVEfmt ";
  u32(f, 16);
  u16(f, 1);
  u16(f, static_cast<uint16_t>(channels));
  u32(f, static_cast<uint32_t>(rate));
  u32(f, static_cast<uint32_t>(rate * channels * 2));
  u16(f, static_cast<uint16_t>(channels * 2));
  u16(f, 16);
  f += "data";
  u32(f, data_bytes);
  f.append(reinterpret_cast<const char*>(frames.data()), data_bytes);
  std::ofstream(path, std::ios::binary) << f;
}

// What the camera must hear for `sound` (8000 Hz mono): whole buffers, at least four.
Samples Heard(Samples sound) {
  const size_t per = kCaptureBufferSamples;
  sound.resize(std::max<size_t>((sound.size() + per - 1) / per, 4) * per, 0);
  std::vector<Samples> buffers;
  for (size_t at = 0; at < sound.size(); at += per) buffers.emplace_back(sound.begin() + at, sound.begin() + at + per);
  G726State decoder;
  G726InitState(decoder);
  Samples heard;
  for (const std::string& part : ExpectedParts(buffers)) {
    int16_t samples[kTransmitPartSamples];
    G726DecodeBlock(samples, reinterpret_cast<const uint8_t*>(part.data()) + kTransmitPartHeader.size(),
                      kTransmitPartCodes, decoder);
    heard.insert(heard.end(), samples, samples + kTransmitPartSamples);
  }
  return heard;
}

class TalkCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vantorel-talk-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    camsim::Options options;
    options.talk.out_wav = Path("heard.wav");
    camera_ = std::make_unique<camsim::Server>(options);
    ASSERT_TRUE(camera_->Start());
  }
  void TearDown() override {
    camera_.reset();
    fs::remove_all(dir_);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string Url() const { return camera_->Url() + "/axis-cgi/audio/transmit.cgi"; }

  Result Run(const std::string& args) const {
    const std::string command =
        std::string(VANTOREL_CLI) + " " + args + " >" + Path("out.txt") + " 2>" + Path("err.txt");
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Text("out.txt"), Text("err.txt")};
  }
  std::string Text(const std::string& name) const {
    std::ifstream in(Path(name));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // Once the camera has seen the talk end and written its file.
  Samples WhatTheCameraHeard() const {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!camera_->stats().talk.ended && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Samples heard;
    std::string error;
    EXPECT_TRUE(ReadWavMono16(Path("heard.wav"), 8000, heard, error)) << error;
    return heard;
  }

  std::string dir_;
  std::unique_ptr<camsim::Server> camera_;
};

TEST_F(TalkCommandTest, ARecordingIsSentWholeAndInOrder) {
  Samples sound(8000);  // one second: 21 buffers, the last one padded
  for (size_t i = 0; i < sound.size(); ++i) sound[i] = static_cast<int16_t>((i * 37) % 4000 * 5 - 10000);
  WriteWav(Path("in.wav"), 8000, 1, sound);
  const Result r = Run("talk " + Url() + " -i " + Path("in.wav") + " --fast");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("sent 21 buffers"), std::string::npos) << r.out;
  EXPECT_EQ(WhatTheCameraHeard(), Heard(sound));
  EXPECT_EQ(camera_->stats().talk.parts, 21);
  EXPECT_EQ(camera_->stats().talk.layout_errors, 0);
}

TEST_F(TalkCommandTest, AnotherFormatIsConvertedAndAShortOneStillGoesOut) {
  // 0.02 s of stereo at 22050 Hz: converted, then padded to the four buffers the worker
  // waits for. Paced like the microphone.
  std::vector<int16_t> frames;
  for (int i = 0; i < 441; ++i) {
    frames.push_back(static_cast<int16_t>(i * 50));
    frames.push_back(static_cast<int16_t>(-i * 20));
  }
  WriteWav(Path("stereo.wav"), 22050, 2, frames);
  Samples converted;
  std::string error;
  ASSERT_TRUE(ReadWavMono16(Path("stereo.wav"), 8000, converted, error)) << error;
  const auto start = std::chrono::steady_clock::now();
  const Result r = Run("talk " + Url() + " -i " + Path("stereo.wav"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3 * 47));
  EXPECT_EQ(WhatTheCameraHeard(), Heard(converted));
  EXPECT_EQ(camera_->stats().talk.parts, 4);
}

// Every dialect and web server behaviour gets the talk through, signed in from its first
// byte: the design's camera; today's (mu-law); a server that challenges only after the body
// (Digest and Basic); one that refuses the announced length (413); each with the right
// password, and a wrong one refused (13).
TEST_F(TalkCommandTest, EveryDialectAndWebServerTakesTheTalk) {
  struct Case {
    const char* name;
    camsim::Firmware firmware;
    camsim::AuthScheme scheme;
    bool challenge_after_body;
    std::optional<uint64_t> body_limit;
  };
  const Case cases[] = {
      {"design", camsim::Firmware::kDesign, camsim::AuthScheme::kDigest, false, std::nullopt},
      {"current", camsim::Firmware::kCurrent, camsim::AuthScheme::kDigest, false, std::nullopt},
      {"challenge after the body, Digest", camsim::Firmware::kCurrent, camsim::AuthScheme::kDigest, true, std::nullopt},
      {"challenge after the body, Basic", camsim::Firmware::kDesign, camsim::AuthScheme::kBasic, true, std::nullopt},
      {"body limit of 1 GiB", camsim::Firmware::kDesign, camsim::AuthScheme::kDigest, false, uint64_t{1} << 30},
  };
  Samples tone(8000);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * 440 * i / 8000.0));
  WriteWav(Path("tone.wav"), 8000, 1, tone);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    camsim::Options options;
    options.talk.out_wav = Path("heard.wav");
    options.sign_in.account = "ann:door";
    options.sign_in.scheme = c.scheme;
    options.current.firmware = c.firmware;
    options.current.challenge_after_body = c.challenge_after_body;
    options.current.body_limit = c.body_limit;
    camera_ = std::make_unique<camsim::Server>(options);
    ASSERT_TRUE(camera_->Start());
    const std::string host = camera_->Url().substr(7);
    const Result r = Run("talk http://ann:door@" + host + "/axis-cgi/audio/transmit.cgi -i " + Path("tone.wav"));
    ASSERT_EQ(r.status, 0) << r.err;
    const Samples heard = WhatTheCameraHeard();
    ASSERT_GE(heard.size(), 7600u);
    int crossings = 0;
    for (size_t i = 1000; i < heard.size(); ++i) crossings += (heard[i - 1] < 0) != (heard[i] < 0);
    EXPECT_NEAR(crossings / ((heard.size() - 1000) / 8000.0) / 2, 440, 20);
    EXPECT_EQ(Run("talk http://ann:window@" + host + "/axis-cgi/audio/transmit.cgi -i " + Path("tone.wav")).status,
              cli::FailureExitCode(FailureReason::kSignInRefused));
  }
}

TEST_F(TalkCommandTest, FailuresAreReported) {
  WriteWav(Path("in.wav"), 8000, 1, Samples(800, 100));
  std::string refused_url;
  {
    camsim::Server gone({});
    ASSERT_TRUE(gone.Start());
    refused_url = gone.Url() + "/axis-cgi/audio/transmit.cgi";
  }
  Result r = Run("talk " + refused_url + " -i " + Path("in.wav") + " --fast");
  EXPECT_EQ(r.status, cli::FailureExitCode(FailureReason::kCannotConnect));
  EXPECT_NE(r.err.find("the camera did not take the talk"), std::string::npos) << r.err;

  // A camera that stops reading: the talk fails once nothing more is taken for 3 s, long
  // before a minute of sound has gone.
  camsim::Options deaf_options;
  deaf_options.talk.fault = camsim::TalkFault::kStopReading;
  deaf_options.talk.fault_after_parts = 2;
  camsim::Server deaf(deaf_options);
  ASSERT_TRUE(deaf.Start());
  WriteWav(Path("minute.wav"), 8000, 1, Samples(8000 * 60, 100));
  const auto start = std::chrono::steady_clock::now();
  r = Run("talk " + deaf.Url() + "/axis-cgi/audio/transmit.cgi -i " + Path("minute.wav") + " --fast");
  EXPECT_EQ(r.status, cli::FailureExitCode(FailureReason::kConnectionLost)) << r.err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

  r = Run("talk ftp://127.0.0.1/x -i " + Path("in.wav"));
  EXPECT_EQ(r.status, cli::FailureExitCode(FailureReason::kCannotConnect));
  EXPECT_NE(r.err.find("only http:// and https://"), std::string::npos) << r.err;

  r = Run("talk " + Url() + " -i " + Path("missing.wav"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("missing.wav"), std::string::npos) << r.err;

  for (const std::string& args : {std::string("talk"), "talk " + Url(), "talk " + Url() + " -i a.wav --mic",
                                  "talk " + Url() + " --mic --fast", "talk " + Url() + " -i a.wav --loud",
                                  "talk " + Url() + " -i a.wav --once"}) {
    EXPECT_EQ(Run(args).status, 2) << args;
  }
  EXPECT_EQ(camera_->stats().talk.talks, 0);
}

}  // namespace
}  // namespace vantorel
