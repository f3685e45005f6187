// The simulated camera's audio stream: its bytes, its pace, and each misbehaviour.

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>

#include "camsim/audio_stream.h"
#include "camsim/echo_loop.h"
#include "camsim/server.h"
#include "codec/g711.h"
#include "codec/g726.h"
#include "frame_oracle.h"
#include "net/http_get.h"
#include "net/multipart_reader.h"
#include "files/wav_file.h"
#include "support/camera_process.h"

namespace vantorel::camsim {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

const std::string kPath = "/axis-cgi/audio/receive.cgi";

Options Parts(int parts, unsigned audio_faults = 0, Fault fault = Fault::kNone) {
  Options o;
  o.audio_parts = parts;
  o.audio_faults = audio_faults;
  o.fault = fault;
  o.audio_part_interval = milliseconds(0);
  o.drip_gap = std::chrono::microseconds(10);
  return o;
}

std::string Body(const Server& server) {
  HttpGet get;
  if (!get.Open(server.Url() + kPath, "test")) return {};
  std::string body;
  char buf[4096];
  while (const size_t n = get.Read(buf, sizeof buf)) body.append(buf, n);
  return body;
}

std::string Frame(AudioFrames& frames) {
  const auto f = frames.Next();
  return {reinterpret_cast<const char*>(f.data()), f.size()};
}

// The first `count` parts of a well-behaved stream of `sound`.
std::string CleanParts(const std::vector<int16_t>& sound, int count, unsigned faults = 0,
                       std::string_view header = kPartHeader) {
  AudioFrames frames(std::make_shared<const std::vector<int16_t>>(sound), faults);
  std::string body;
  for (int i = 0; i < count; ++i) body += std::string(header) + Frame(frames) + "\r\n";
  return body;
}

TEST(AudioStreamTest, PartsCarryTheChimeCodedFromTheConnectionsStart) {
  Server server(Parts(4));
  ASSERT_TRUE(server.Start());
  httplib::Client client("127.0.0.1", server.port());
  const auto res = client.Get(kPath.c_str());
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->get_header_value("Content-Type"), "multipart/x-mixed-replace;boundary=myboundary");
  EXPECT_EQ(res->body, CleanParts(DoorChime(), 4));
  EXPECT_EQ(Body(server), res->body);  // every connection starts the sound and the coder afresh
}

// --drop-after and --silence-after strike on every connection after their count of parts;
// the next connection is served afresh. A silent stream sends nothing more and is held open
// (here for 1 s) until it is closed; a dropped one is closed at once.
TEST(AudioStreamTest, DropsAndSilencesStrikeEveryConnectionAfterTheirParts) {
  for (const bool silence : {false, true}) {
    Options o = Parts(0);
    (silence ? o.audio_silence_after : o.audio_drop_after) = 3;
    o.silence_hold = milliseconds(1000);
    Server server(o);
    ASSERT_TRUE(server.Start());
    for (int connection = 0; connection < 2; ++connection) {
      const auto began = Clock::now();
      EXPECT_EQ(Body(server), CleanParts(DoorChime(), 3)) << "silence " << silence << ", connection " << connection;
      const auto took = Clock::now() - began;
      if (silence) {
        EXPECT_GE(took, milliseconds(1000));
      } else {
        EXPECT_LT(took, milliseconds(1000));
      }
    }
    EXPECT_EQ(server.stats().audio_streams, 2);
  }
}

TEST(AudioStreamTest, TheSoundIsLoopedAndPartsLeaveInRealTime) {
  std::vector<int16_t> ramp(600);  // not a whole number of parts: the loop wraps mid-part
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(i * 50 - 15000);
  Options o = Parts(5);
  o.audio_in = ramp;
  o.audio_part_interval = milliseconds(50);
  Server server(o);
  ASSERT_TRUE(server.Start());
  const auto start = Clock::now();
  const std::string body = Body(server);
  EXPECT_GE(Clock::now() - start, milliseconds(200));  // parts 2 to 5 wait their turn

  std::vector<int16_t> looped(5 * kPartSamples);
  for (size_t i = 0; i < looped.size(); ++i) looped[i] = ramp[i % ramp.size()];
  G726State state;
  G726InitState(state);
  std::string codes(looped.size() / 2, '\0');
  G726EncodeBlock(reinterpret_cast<uint8_t*>(codes.data()), looped.data(), looped.size(), state);
  std::vector<std::string> expected;
  for (size_t i = 0; i < 5; ++i) expected.push_back(codes.substr(i * kPartBytes, kPartBytes));
  EXPECT_EQ(OracleFrames(body), expected);
}

TEST(AudioStreamTest, MisbehavioursChangeWhatLiesAroundTheFramesButNotTheFrames) {
  const std::string clean = CleanParts(DoorChime(), 6);
  {
    Server split(Parts(6, kAudioSplit));
    ASSERT_TRUE(split.Start());
    EXPECT_EQ(Body(split), clean);
    Server drip(Parts(6, 0, Fault::kDrip));
    ASSERT_TRUE(drip.Start());
    EXPECT_EQ(Body(drip), clean);
  }
  Server garbage(Parts(6, kAudioGarbage));
  ASSERT_TRUE(garbage.Start());
  const std::string junky = Body(garbage);
  EXPECT_GT(junky.size(), clean.size());
  EXPECT_EQ(OracleFrames(junky), OracleFrames(clean));

  Server zeros(Parts(6, kAudioZeros));
  ASSERT_TRUE(zeros.Start());
  const auto frames = OracleFrames(Body(zeros));
  ASSERT_EQ(frames.size(), 6u);
  for (const std::string& f : frames) {
    EXPECT_EQ(f[0], '\0');
    EXPECT_EQ(f[100], '\0');
    EXPECT_EQ(f[199], '\0');
  }
  EXPECT_EQ(GarbageBetweenParts(3), GarbageBetweenParts(3));
  // Junk is never taken for a part, by the plain marker search or by the multipart reader.
  const std::string part = CleanParts(DoorChime(), 1);
  for (uint32_t seed = 0; seed < 2000; ++seed) {
    const std::string stream = part + GarbageBetweenParts(seed) + part;
    ASSERT_EQ(OracleFrames(stream).size(), 2u) << seed;
    MultipartReader reader("myboundary", {}, [](std::string_view) { return std::optional<size_t>(200); });
    int parts = 0;
    reader.Feed(std::span(reinterpret_cast<const uint8_t*>(stream.data()), stream.size()),
                [&](const MultipartPart&) { ++parts; });
    ASSERT_EQ(parts, 2) << seed;
  }
}

TEST(AudioStreamTest, TheStreamEndsStallsOrBreaksOffAfterNParts) {
  const std::string two = CleanParts(DoorChime(), 2);
  const std::string three = CleanParts(DoorChime(), 3);
  Server ends(Parts(2));
  ASSERT_TRUE(ends.Start());
  EXPECT_EQ(Body(ends), two);
  Server breaks(Parts(2, 0, Fault::kCloseMidBody));
  ASSERT_TRUE(breaks.Start());
  EXPECT_EQ(Body(breaks), three.substr(0, two.size() + (three.size() - two.size()) / 2));

  for (const int parts : {0, 2}) {
    Server stalls(Parts(parts, 0, Fault::kStall));
    ASSERT_TRUE(stalls.Start());
    std::string body;
    std::thread client([&] { body = Body(stalls); });
    std::this_thread::sleep_for(milliseconds(300));
    stalls.Stop();  // only the server's end ends a stall
    client.join();
    EXPECT_EQ(body, parts == 0 ? "" : two) << parts;
  }
}

TEST(AudioStreamTest, ErrorFaultsAnswerWithoutAudio) {
  Server missing(Parts(0, 0, Fault::kNotFound));
  ASSERT_TRUE(missing.Start());
  httplib::Client client("127.0.0.1", missing.port());
  const auto res = client.Get(kPath.c_str());
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 404);
  EXPECT_TRUE(OracleFrames(res->body).empty());
  Server empty(Parts(0, 0, Fault::kEmpty));
  ASSERT_TRUE(empty.Start());
  EXPECT_EQ(Body(empty), "");
}

TEST(AudioStreamTest, FaultNamesParse) {
  EXPECT_EQ(ParseAudioFaults("garbage,zeros"), kAudioGarbage | kAudioZeros);
  EXPECT_EQ(ParseAudioFaults("split"), unsigned{kAudioSplit});
  EXPECT_EQ(ParseAudioFaults("none"), 0u);
  EXPECT_EQ(ParseAudioFaults("garbage,loud"), std::nullopt);
  EXPECT_EQ(DoorChime().size(), 3u * kAudioRate);
}

// The loudspeaker plays what it takes in real time, after what it still plays; the
// microphone hears it `delay` later, `db_down` quieter.
TEST(AudioStreamTest, TheEchoComesBackLaterAndQuieterInTheOrderPlayed) {
  const Clock::time_point t0{};
  EchoLoop echo({.delay = milliseconds(100), .db_down = 6}, t0);
  const std::vector<int16_t> first(800, 10000), second(800, -20000);
  echo.Play(first, t0 + milliseconds(1000));   // plays over samples 8000..8799
  echo.Play(second, t0 + milliseconds(1010));  // after it: 8800..9599
  std::vector<int16_t> mic(2400, 100);         // the microphone from sample 8600 on
  echo.MixInto(mic, t0 + milliseconds(1075));
  const int16_t louder = static_cast<int16_t>(100 + std::lround(10000 * std::pow(10, -6.0 / 20)));
  const int16_t softer = static_cast<int16_t>(100 - std::lround(20000 * std::pow(10, -6.0 / 20)));
  EXPECT_EQ(mic[199], 100);  // sample 8799 hears 7999: nothing played yet
  EXPECT_EQ(mic[200], louder);
  EXPECT_EQ(mic[999], louder);
  EXPECT_EQ(mic[1000], softer);
  EXPECT_EQ(mic[1799], softer);
  EXPECT_EQ(mic[1800], 100);  // played out

  EchoLoop none({}, t0);
  none.Play(first, t0);
  std::vector<int16_t> quiet(400, 0);
  none.MixInto(quiet, t0 + milliseconds(50));
  EXPECT_EQ(quiet, std::vector<int16_t>(400, 0));
}

TEST(AudioStreamTest, TheProgramPlaysAWavFileAndRefusesUnknownAudioFaults) {
  char dir[] = "/tmp/vantorel-camsim-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string wav = std::string(dir) + "/in.wav";
  std::vector<int16_t> sound(1000);
  for (size_t i = 0; i < sound.size(); ++i) sound[i] = static_cast<int16_t>((i % 40) * 500 - 10000);
  std::string error;
  ASSERT_TRUE(WriteWavMono16(wav, kAudioRate, sound, error)) << error;

  for (const char* bad : {" --audio-fault loud", " --echo-ms 10 --echo-db x"}) {
    const int status = std::system((std::string(VANTOREL_CAMSIM) + bad + " 2>/dev/null").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << bad;
  }

  test::CameraProcess camera(VANTOREL_CAMSIM, {"--audio-in", wav, "--audio-parts", "3", "--part-ms", "0"});
  ASSERT_FALSE(camera.Url().empty());
  HttpGet get;
  ASSERT_TRUE(get.Open(camera.Url() + kPath, "test"));
  std::string body;
  char buf[4096];
  while (const size_t n = get.Read(buf, sizeof buf)) body.append(buf, n);
  camera.Terminate();
  std::remove(wav.c_str());
  rmdir(dir);
  EXPECT_EQ(body, CleanParts(sound, 3));
}

// --length-after-type: the design's parts carry "Content-Length: 200" after their type.
TEST(AudioStreamTest, TheDesignsPartsCarryALengthAfterTheirTypeWhenAsked) {
  Options o = Parts(3);
  o.current.length_after_type = true;
  Server server(o);
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(Body(server), CleanParts(DoorChime(), 3, 0,
                                     "--myboundary\r\nContent-Type: audio/32KADPCM\r\nContent-Length: 200\r\n\r\n"));
}

// The newer firmware's microphone in each form (singlepart, or 64 ms parts with a length each;
// mu-law, or G.726-32 with the earlier code of a byte in bits 4-7) decodes to the chime.
TEST(AudioStreamTest, TheNewerFirmwareSendsTheChimeInEachForm) {
  for (const std::string query : {"", "?audiocodec=g726", "?httptype=multipart", "?httptype=multipart&audiocodec=g726"}) {
    SCOPED_TRACE(query);
    const bool g726 = query.find("g726") != std::string::npos, multipart = query.find("multi") != std::string::npos;
    Options o = Parts(5);
    o.current.firmware = Firmware::kCurrent;
    Server server(o);
    ASSERT_TRUE(server.Start());
    const auto res = httplib::Client("127.0.0.1", server.port()).Get((kPath + query).c_str());
    ASSERT_TRUE(res);
    const std::string type = g726 ? "audio/G726-32" : "audio/basic", answer = res->get_header_value("Content-Type");
    const size_t size = g726 ? 256 : 512, at = answer.find("; boundary=");
    EXPECT_EQ(answer.substr(0, at), multipart ? "multipart/x-mixed-replace" : type);
    const std::string head = "--" + answer.substr(std::min(at + 11, answer.size())) + "\r\nContent-Type: " + type +
                             "\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n";
    std::string audio = multipart ? "" : res->body;
    for (size_t part = 0; multipart && part < res->body.size(); part += head.size() + size + 2) {
      ASSERT_EQ(res->body.compare(part, head.size(), head), 0) << answer;
      ASSERT_EQ(res->body.compare(part + head.size() + size, 2, "\r\n"), 0);
      audio += res->body.substr(part + head.size(), size);
    }
    std::vector<int16_t> heard(g726 ? 2 * audio.size() : audio.size());
    const auto* codes = reinterpret_cast<const uint8_t*>(audio.data());
    G726State state;
    G726InitState(state);
    if (g726) {
      G726DecodeBlock(heard.data(), codes, audio.size(), state, G726Packing::kEarlierHigh);
    } else {
      MuLawDecodeBlock(heard.data(), codes, audio.size());
    }
    ASSERT_EQ(heard.size(), size_t{5} * (multipart ? 512 : 160));
    const std::vector<int16_t> chime = DoorChime();
    double signal = 0, noise = 0;
    for (size_t i = 0; i < heard.size(); ++i) {
      signal += double(chime[i]) * chime[i];
      noise += (double(heard[i]) - chime[i]) * (double(heard[i]) - chime[i]);
    }
    EXPECT_GT(10 * std::log10(signal / noise), 20.0);
  }
}

}  // namespace
}  // namespace vantorel::camsim
