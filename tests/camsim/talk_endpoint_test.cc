// The simulated camera's upload endpoint, fed by hand-made bodies over real HTTP.

#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "camsim/audio_stream.h"
#include "camsim/server.h"
#include "codec/g711.h"
#include "codec/g726.h"
#include "net/http_get.h"
#include "net/http_post.h"
#include "files/wav_file.h"
#include "support/camera_process.h"
#include "support/loopback.h"

namespace vantorel::camsim {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

const std::string kOpening =
    "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=myboundary\r\n\r\n--myboundary\r\n";

// Codes of a tone, 200 bytes per part.
std::vector<std::string> ToneCodes(int parts) {
  G726State encoder;
  G726InitState(encoder);
  std::vector<std::string> codes;
  for (int p = 0; p < parts; ++p) {
    int16_t samples[400];
    for (int i = 0; i < 400; ++i) samples[i] = static_cast<int16_t>(((p * 400 + i) % 40 - 20) * 600);
    uint8_t out[200];
    G726EncodeBlock(out, samples, 400, encoder);
    codes.emplace_back(reinterpret_cast<char*>(out), sizeof out);
  }
  return codes;
}

std::string Part(const std::string& codes) {
  return "Content-Type: audio/32KADPCM\r\n\r\n" + codes + "\r\n--myboundary\r\n";
}

bool WaitFor(const Server& server, const std::function<bool(const TalkStats&)>& done) {
  const auto give_up = steady_clock::now() + std::chrono::seconds(20);
  while (!done(server.stats().talk)) {
    if (steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return true;
}

// A talk opened by hand: the request head is out, the body follows piece by piece.
struct Talk {
  // `userinfo` ("user:password", percent-encoded) goes into the URL when given.
  explicit Talk(const Server& server, std::shared_ptr<CancelToken> cancel = nullptr, const std::string& userinfo = "")
      : post(std::move(cancel)) {
    std::string url = server.Url() + "/axis-cgi/audio/transmit.cgi";
    if (!userinfo.empty()) url.insert(7, userinfo + "@");
    post.Open(url, "Halvicor Microphone Write.", 2147483647);
    sent = post.Send();
  }
  bool Write(const std::string& piece) { return post.Write(piece.data(), piece.size()); }
  HttpPost post;
  bool sent = false;
};

std::string TempPath(const char* name) {
  return testing::TempDir() + "vantorel-" + name + "-" + std::to_string(getpid()) + ".wav";
}

TEST(TalkEndpointTest, TheBodyIsReadAsItStreamsAndWhatItCarriedIsWritten) {
  Options options;
  options.talk.out_wav = TempPath("talk-out");
  Server server(options);
  ASSERT_TRUE(server.Start());
  const auto codes = ToneCodes(3);
  {
    Talk talk(server);
    ASSERT_TRUE(talk.sent);
    ASSERT_TRUE(talk.Write(kOpening));
    ASSERT_TRUE(WaitFor(server, [](const TalkStats& t) { return t.bytes == kOpening.size(); }));
    EXPECT_FALSE(server.stats().talk.first_part_at);
    const auto before_first = steady_clock::now();
    for (int p = 0; p < 3; ++p) {
      ASSERT_TRUE(talk.Write(Part(codes[static_cast<size_t>(p)])));
      // Each part is counted while the request is still open.
      ASSERT_TRUE(WaitFor(server, [p](const TalkStats& t) { return t.parts == p + 1; }));
    }
    const TalkStats t = server.stats().talk;
    ASSERT_TRUE(t.first_part_at);
    EXPECT_GE(*t.first_part_at, before_first);
    EXPECT_GE(t.first_part_after.count(), 0);
    EXPECT_EQ(t.active, 1);
    EXPECT_FALSE(t.ended);
  }  // the connection closes: the talk ends
  ASSERT_TRUE(WaitFor(server, [](const TalkStats& t) { return t.ended; }));
  const TalkStats t = server.stats().talk;
  EXPECT_EQ(t.talks, 1);
  EXPECT_EQ(t.active, 0);
  EXPECT_EQ(t.layout_errors, 0) << t.first_error;
  EXPECT_EQ(t.user_agent, "Halvicor Microphone Write.");

  std::vector<int16_t> heard, expected(1200);
  std::string error;
  ASSERT_TRUE(ReadWavMono16(options.talk.out_wav, 8000, heard, error)) << error;
  G726State decoder;
  G726InitState(decoder);
  for (int p = 0; p < 3; ++p) {
    G726DecodeBlock(expected.data() + p * 400, reinterpret_cast<const uint8_t*>(codes[static_cast<size_t>(p)].data()),
                      200, decoder);
  }
  EXPECT_EQ(heard, expected);

  // The next talk starts its counts afresh; a malformed part is reported.
  {
    Talk talk(server);
    talk.Write(kOpening + Part(codes[0]) + "Content-Type: audio/G711\r\n\r\n" + codes[1] + "\r\n--myboundary\r\n" +
               Part(codes[2]));
  }
  ASSERT_TRUE(WaitFor(server, [](const TalkStats& s) { return s.talks == 2 && s.ended; }));
  EXPECT_EQ(server.stats().talk.parts, 2);
  EXPECT_EQ(server.stats().talk.layout_errors, 1);
  EXPECT_NE(server.stats().talk.first_error.find("audio/G711"), std::string::npos);
  std::remove(options.talk.out_wav.c_str());
}

double Rms(const int16_t* samples, size_t n) {
  double e = 0;
  for (size_t i = 0; i < n; ++i) e += static_cast<double>(samples[i]) * samples[i];
  return std::sqrt(e / static_cast<double>(n));
}

// With --echo-ms the loudspeaker's sound comes back in the camera's (here silent)
// microphone, as loud as asked, and is gone once the talk has been played.
TEST(TalkEndpointTest, WhatATalkPlaysComesBackInTheSoundWithAnEcho) {
  Options options;
  options.audio_in = std::vector<int16_t>(kPartSamples, 0);
  options.audio_parts = 40;  // 2 s
  options.echo = {.delay = milliseconds(50), .db_down = 6};
  Server server(options);
  ASSERT_TRUE(server.Start());
  const auto codes = ToneCodes(20);  // 1 s
  Talk talk(server);
  std::string body = kOpening;
  for (const std::string& c : codes) body += Part(c);
  ASSERT_TRUE(talk.Write(body));
  ASSERT_TRUE(WaitFor(server, [](const TalkStats& t) { return t.parts == 20; }));

  HttpGet get;
  ASSERT_TRUE(get.Open(server.Url() + "/axis-cgi/audio/receive.cgi", "test"));
  std::string stream;
  char buf[4096];
  while (const size_t n = get.Read(buf, sizeof buf)) stream.append(buf, n);
  const size_t part_size = kPartHeader.size() + kPartBytes + 2;
  ASSERT_EQ(stream.size(), 40 * part_size);
  G726State decoder;
  G726InitState(decoder);
  std::vector<double> levels;
  for (size_t p = 0; p < 40; ++p) {
    int16_t sound[kPartSamples];
    G726DecodeBlock(sound, reinterpret_cast<const uint8_t*>(stream.data() + p * part_size + kPartHeader.size()),
                    kPartBytes, decoder);
    levels.push_back(Rms(sound, kPartSamples));
  }
  G726State talk_decoder;
  G726InitState(talk_decoder);
  std::vector<int16_t> tone(20 * kPartSamples);
  for (size_t p = 0; p < 20; ++p) {
    G726DecodeBlock(tone.data() + p * kPartSamples, reinterpret_cast<const uint8_t*>(codes[p].data()), kPartBytes,
                    talk_decoder);
  }
  const double loudest = *std::max_element(levels.begin(), levels.end());
  EXPECT_NEAR(20 * std::log10(loudest / Rms(tone.data(), tone.size())), -6, 1.5);
  EXPECT_LT(levels.back(), 50);
}

TEST(TalkEndpointTest, AnUnauthorizedTalkIsAnsweredAtOnce) {
  for (const bool by_auth : {false, true}) {
    Options options;
    if (by_auth) {
      options.basic_auth = "ann:door";  // a talk never carries credentials
    } else {
      options.talk.fault = TalkFault::kUnauthorized;
    }
    Server server(options);
    ASSERT_TRUE(server.Start());
    Talk talk(server);
    for (int i = 0; i < 1000 && talk.Write(kOpening); ++i) std::this_thread::sleep_for(milliseconds(1));
    EXPECT_EQ(talk.post.state(), HttpPost::State::kAnswered) << talk.post.Error();
    EXPECT_EQ(talk.post.ResponseCode(), 401);
    EXPECT_EQ(server.stats().talk.talks, 1);
    EXPECT_EQ(server.stats().talk.parts, 0);
  }
}

// A camera that asks for the sign-in: the bodiless GET before the talk draws the one
// challenge, and the talk's POST carries the sign-in from its first byte (a server that
// reads a whole body before it challenges never meets it unsigned); the camera receives
// the whole body, every part in order, once, however soon the parts come.
TEST(TalkEndpointTest, ASignedInTalkReachesTheCameraWholeAfterOneChallenge) {
  struct Case {
    AuthScheme scheme;
    DigestAlgorithm algorithm;
    milliseconds pre_buffer;
  };
  const Case cases[] = {
      {AuthScheme::kDigest, DigestAlgorithm::kMd5, milliseconds(190)},
      {AuthScheme::kDigest, DigestAlgorithm::kMd5Sess, milliseconds(190)},
      {AuthScheme::kDigest, DigestAlgorithm::kSha256, milliseconds(190)},
      {AuthScheme::kBasic, DigestAlgorithm::kMd5, milliseconds(190)},
      {AuthScheme::kAny, DigestAlgorithm::kMd5, milliseconds(190)},
      {AuthScheme::kDigest, DigestAlgorithm::kMd5, milliseconds(0)},
  };
  const auto codes = ToneCodes(5);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(DigestAlgorithmName(c.algorithm)) + ", scheme " + std::to_string(static_cast<int>(c.scheme)) +
                 ", pre-buffer " + std::to_string(c.pre_buffer.count()) + " ms");
    Options options;
    options.sign_in.account = "ann:p@ss:w%rd";
    options.sign_in.scheme = c.scheme;
    options.sign_in.algorithm = c.algorithm;
    Server server(options);
    ASSERT_TRUE(server.Start());
    Talk talk(server, nullptr, "ann:p%40ss%3Aw%25rd");
    ASSERT_TRUE(talk.sent) << talk.post.Error();
    ASSERT_TRUE(talk.Write(kOpening));
    std::this_thread::sleep_for(c.pre_buffer);
    for (const std::string& code : codes) ASSERT_TRUE(talk.Write(Part(code))) << talk.post.Error();
    EXPECT_FALSE(talk.post.Outcome().failed()) << talk.post.Error();
    // The transfer moves only inside the calls; the end pushes out what is still waiting
    // (the camera answers a talk only when it ends, so the wait ends without an answer).
    talk.post.End(milliseconds(300));
    ASSERT_TRUE(WaitFor(server, [](const TalkStats& t) { return t.parts == 5; }));
    const Stats stats = server.stats();
    EXPECT_EQ(stats.challenges, 1);
    EXPECT_EQ(stats.talk.talks, 1);  // signed in from the start
    EXPECT_EQ(stats.talk.bytes, kOpening.size() + 5 * Part(codes[0]).size());
    EXPECT_EQ(stats.talk.layout_errors, 0) << stats.talk.first_error;
    EXPECT_EQ(talk.post.Restarts(), 0);
  }
}

// A wrong password: the camera challenges the second request too; the talk ends answered
// with 401, nothing of the body taken.
TEST(TalkEndpointTest, AWrongPasswordEndsTheTalkAsARefusedSignIn) {
  for (const AuthScheme scheme : {AuthScheme::kDigest, AuthScheme::kBasic}) {
    Options options;
    options.sign_in.account = "ann:door";
    options.sign_in.scheme = scheme;
    Server server(options);
    ASSERT_TRUE(server.Start());
    Talk talk(server, nullptr, "ann:window");
    for (int i = 0; i < 1000 && talk.Write(kOpening); ++i) std::this_thread::sleep_for(milliseconds(1));
    EXPECT_EQ(talk.post.state(), HttpPost::State::kAnswered) << talk.post.Error();
    const Failure failure = talk.post.Outcome();
    EXPECT_EQ(failure.reason, FailureReason::kErrorStatus);  // the station calls it a refused sign-in
    EXPECT_EQ(failure.http_status, 401);
    EXPECT_EQ(server.stats().challenges, 2);
    EXPECT_EQ(server.stats().talk.parts, 0);
  }
}

TEST(TalkEndpointTest, ACloseAfterTwoPartsFailsTheWritesThatFollow) {
  Options options;
  options.talk.fault = TalkFault::kClose;
  options.talk.fault_after_parts = 2;
  Server server(options);
  ASSERT_TRUE(server.Start());
  const auto codes = ToneCodes(1);
  Talk talk(server);
  ASSERT_TRUE(talk.Write(kOpening));
  int written = 0;
  while (written < 2000 && talk.Write(Part(codes[0]))) {
    ++written;
    std::this_thread::sleep_for(milliseconds(1));
  }
  EXPECT_LT(written, 2000);
  EXPECT_EQ(talk.post.ResponseCode(), 503);
  EXPECT_FALSE(talk.Write(Part(codes[0])));
  ASSERT_TRUE(WaitFor(server, [](const TalkStats& t) { return t.ended; }));
  EXPECT_EQ(server.stats().talk.parts, 2);
}

// The writer blocks once the socket buffers are full; stopping the server releases it.
TEST(TalkEndpointTest, AServerThatStopsReadingHoldsTheWriterUntilItStops) {
  Options options;
  options.talk.fault = TalkFault::kStopReading;
  options.talk.fault_after_parts = 1;
  Server server(options);
  ASSERT_TRUE(server.Start());
  const auto codes = ToneCodes(1);
  Talk talk(server);
  ASSERT_TRUE(talk.Write(kOpening));
  std::atomic<int> written{0};
  std::atomic<bool> done{false};
  std::thread writer([&] {
    const std::string piece = Part(codes[0]);
    while (talk.Write(piece)) ++written;
    done = true;
  });
  ASSERT_TRUE(WaitFor(server, [](const TalkStats& t) { return t.parts == 1; }));
  // Blocked: the count stands still while the writer is still inside a write.
  int before = -1;
  while (written.load() != before) {
    before = written.load();
    std::this_thread::sleep_for(milliseconds(300));
  }
  EXPECT_FALSE(done);
  const auto start = steady_clock::now();
  server.Stop();
  writer.join();
  EXPECT_LT(steady_clock::now() - start, milliseconds(5000));
  EXPECT_EQ(server.stats().talk.parts, 1);
}

// The run's faults on the upload: error pages and an empty answer come before any of the
// body is read; a stall reads nothing and never answers.
TEST(TalkEndpointTest, TheRunsFaultsShapeTheAnswer) {
  for (const auto& [fault, code] : {std::pair{Fault::kNotFound, 404L}, {Fault::kServerError, 500L},
                                    {Fault::kEmpty, 200L}, {Fault::kStall, 0L}}) {
    Options options;
    options.fault = fault;
    Server server(options);
    ASSERT_TRUE(server.Start());
    Talk talk(server);
    for (int i = 0; i < 200 && talk.Write(kOpening); ++i) std::this_thread::sleep_for(milliseconds(1));
    EXPECT_EQ(talk.post.ResponseCode(), code) << FaultName(fault);
    EXPECT_EQ(server.stats().talk.parts, 0) << FaultName(fault);
    if (fault == Fault::kStall) {
      EXPECT_EQ(talk.post.state(), HttpPost::State::kSending);
    }
  }
}

TEST(TalkEndpointTest, FaultNamesRoundTrip) {
  for (const char* name : TalkFaultNames()) {
    const auto fault = ParseTalkFault(name);
    ASSERT_TRUE(fault) << name;
    EXPECT_STREQ(TalkFaultName(*fault), name);
  }
  EXPECT_FALSE(ParseTalkFault("shout"));
}

TEST(TalkEndpointTest, TheProgramPrintsOneLinePerTalk) {
  const std::string out = TempPath("talk-program");
  test::CameraProcess camera(VANTOREL_CAMSIM, {"--talk-out", out});
  ASSERT_FALSE(camera.Url().empty());
  {
    HttpPost post;
    ASSERT_TRUE(post.Open(camera.Url() + "/axis-cgi/audio/transmit.cgi", "t", 2147483647));
    ASSERT_TRUE(post.Send());
    const auto codes = ToneCodes(2);
    ASSERT_TRUE(post.Write(kOpening.data(), kOpening.size()));
    for (const auto& c : codes) ASSERT_TRUE(post.Write(Part(c).data(), Part(c).size()));
  }
  const std::string report = camera.NextLine();
  EXPECT_EQ(report.rfind("talk: 2 parts, 0 layout errors, first part after ", 0), 0u) << report;
  EXPECT_NE(report.find("800 samples written to " + out), std::string::npos) << report;
  const int status = camera.Terminate();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  test::CameraProcess current(VANTOREL_CAMSIM, {"--firmware", "current", "--talk-out", out});
  ASSERT_TRUE(httplib::Client(current.Url()).Post("/axis-cgi/audio/transmit.cgi", std::string(1600, '\x7f'), "audio/basic"));
  const std::string line = current.NextLine();
  EXPECT_EQ(line.rfind("talk: audio/basic, 1600 samples played, first sound after ", 0), 0u) << line;
  EXPECT_NE(line.find("1600 samples written to " + out), std::string::npos) << line;
  std::remove(out.c_str());
}

// The newer firmware and the web server's ways.

const std::string kTalkPath = "/axis-cgi/audio/transmit.cgi";

Options Current() {
  Options o;
  o.current.firmware = Firmware::kCurrent;
  return o;
}

// A request written by hand on a connection of its own: `head`, then the body as the test sends it.
struct RawRequest {
  RawRequest(const Server& server, const std::string& head) : fd(test::ConnectToLoopback(server.port())) { Send(head); }
  ~RawRequest() { close(fd); }
  void Send(const std::string& bytes) { send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  bool Answered(milliseconds within) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, static_cast<int>(within.count())) == 1;
  }
  // What the server sends within 5 s, until it closes the connection (or sends `until`).
  std::string Answer(const std::string& until = "") {
    std::string answer;
    char buf[4096];
    for (const auto end = steady_clock::now() + milliseconds(5000); until.empty() || answer.find(until) == std::string::npos;) {
      const auto left = std::chrono::duration_cast<milliseconds>(end - steady_clock::now());
      const ssize_t n = left.count() > 0 && Answered(left) ? recv(fd, buf, sizeof buf, 0) : 0;
      if (n <= 0) break;
      answer.append(buf, static_cast<size_t>(n));
    }
    return answer;
  }
  int Status() { return std::atoi(Answer("\r\n").substr(std::strlen("HTTP/1.1 ")).c_str()); }
  const int fd;
};

std::string Head(const std::string& headers, const std::string& request_line = "POST " + kTalkPath) {
  return request_line + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
}

// A singlepart talk (mu-law with a length, G.726-32 chunked) is played in real time and
// written as its codec decodes it (G.726-32: the earlier code of each byte in bits 4-7).
TEST(TalkEndpointTest, TheNewerFirmwarePlaysASinglepartTalkInRealTime) {
  std::vector<int16_t> tone(4000);  // 0.5 s
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(((i % 20) < 10 ? 4000 : -4000) + i);
  for (const bool g726 : {false, true}) {
    Options o = Current();
    o.talk.out_wav = TempPath("current-talk");
    Server server(o);
    ASSERT_TRUE(server.Start());
    std::string body(g726 ? tone.size() / 2 : tone.size(), '\0');
    std::vector<int16_t> expected(tone.size());
    auto* codes = reinterpret_cast<uint8_t*>(body.data());
    G726State coder, decoder;
    G726InitState(coder);
    G726InitState(decoder);
    if (g726) {
      G726EncodeBlock(codes, tone.data(), tone.size(), coder, G726Packing::kEarlierHigh);
      G726DecodeBlock(expected.data(), codes, body.size(), decoder, G726Packing::kEarlierHigh);
    } else {
      MuLawEncodeBlock(codes, tone.data(), tone.size());
      MuLawDecodeBlock(expected.data(), codes, body.size());
    }
    const char* type = g726 ? "audio/G726-32" : "audio/basic; rate=8000";
    const auto began = steady_clock::now();
    httplib::Client client("127.0.0.1", server.port());
    const auto res = !g726 ? client.Post(kTalkPath.c_str(), body, type)
                           : client.Post(kTalkPath.c_str(), [&](size_t at, httplib::DataSink& sink) {
                               sink.write(body.data() + at, std::min<size_t>(80, body.size() - at));
                               if (at + 80 >= body.size()) sink.done();
                               return true;
                             }, type);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_GE(steady_clock::now() - began, milliseconds(250));  // 0.5 s of sound, taken 0.2 s ahead
    ASSERT_TRUE(WaitFor(server, [](const TalkStats& t) { return t.ended; }));
    EXPECT_EQ(server.stats().talk.content_type, type);
    EXPECT_EQ(server.stats().talk.samples, tone.size());
    std::vector<int16_t> heard;
    std::string error;
    ASSERT_TRUE(ReadWavMono16(o.talk.out_wav, 8000, heard, error)) << error;
    EXPECT_EQ(heard, expected);
    std::remove(o.talk.out_wav.c_str());
  }
}

// 415 for a type it does not play; 503 to a second talker while one plays (the first plays
// on, and with half duplex the microphone is silent meanwhile); 405 for the way a one-way
// camera cannot go.
TEST(TalkEndpointTest, TheNewerFirmwareRefusesWhatItCannotPlay) {
  Options o = Current();
  o.current.duplex = Duplex::kHalf;
  o.current.receiver_timeout = milliseconds(10000);  // the first talk lasts however slow the machine
  o.audio_parts = 3;
  o.audio_part_interval = milliseconds(0);
  Server server(o);
  ASSERT_TRUE(server.Start());
  httplib::Client client("127.0.0.1", server.port());
  const auto talk = [&](const char* type) {
    const auto res = client.Post(kTalkPath.c_str(), std::string(160, '\x7f'), type);
    return res ? res->status : 0;
  };
  EXPECT_EQ(talk("audio/32KADPCM"), 415);
  RawRequest first(server, Head("Content-Type: audio/basic\r\nContent-Length: 100000\r\n"));
  first.Send(std::string(800, '\x7f'));
  ASSERT_TRUE(WaitFor(server, [](const TalkStats& t) { return t.samples == 800; }));
  EXPECT_EQ(talk("audio/basic"), 503);
  const auto microphone = client.Get("/axis-cgi/audio/receive.cgi");
  ASSERT_TRUE(microphone);
  EXPECT_EQ(microphone->body, std::string(3 * 160, '\xff'));  // mu-law silence
  first.Send(std::string(800, '\x7f'));
  ASSERT_TRUE(WaitFor(server, [](const TalkStats& t) { return t.samples == 1600; }));
  EXPECT_EQ(server.stats().current.unsupported_type, 1);
  EXPECT_EQ(server.stats().current.busy, 1);
  for (const Duplex one_way : {Duplex::kListen, Duplex::kTalk}) {
    o.current.duplex = one_way;
    Server refusing(o);
    ASSERT_TRUE(refusing.Start());
    httplib::Client c("127.0.0.1", refusing.port());
    const auto res = one_way == Duplex::kListen ? c.Post(kTalkPath.c_str(), "x", "audio/basic")
                                                : c.Get("/axis-cgi/audio/receive.cgi");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 405);
    EXPECT_EQ(refusing.stats().current.not_allowed, 1);
  }
}

// A second without data ends the talk: the answer is 200 and the camera closes.
TEST(TalkEndpointTest, TheNewerFirmwareEndsATalkASecondAfterItsLastData) {
  Server server(Current());
  ASSERT_TRUE(server.Start());
  RawRequest talk(server, Head("Content-Type: audio/basic\r\nContent-Length: 100000\r\n"));
  talk.Send(std::string(800, '\x7f'));
  const auto sent = steady_clock::now();
  const std::string answer = talk.Answer();  // to the connection's end
  EXPECT_GE(steady_clock::now() - sent, milliseconds(900));
  EXPECT_LT(steady_clock::now() - sent, milliseconds(4000)) << "the connection stayed open";
  EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;
  EXPECT_EQ(server.stats().current.receiver_timeouts, 1);
  EXPECT_EQ(server.stats().talk.samples, 800u);
}

// --challenge-after-body: a POST refused for its sign-in is challenged only once its declared
// body has been read; an empty POST and a GET at once. Both firmwares, Digest and Basic.
TEST(TalkEndpointTest, AChallengeComesOnlyOnceTheBodyHasEnded) {
  for (const Firmware firmware : {Firmware::kDesign, Firmware::kCurrent}) {
    for (const AuthScheme scheme : {AuthScheme::kDigest, AuthScheme::kBasic}) {
      Options o;
      o.current.firmware = firmware;
      o.current.challenge_after_body = true;
      o.current.receiver_timeout = milliseconds(10000);
      o.sign_in = {.account = "ann:door", .scheme = scheme};
      Server server(o);
      ASSERT_TRUE(server.Start());
      RawRequest talk(server, Head("Content-Type: audio/basic\r\nContent-Length: 1600\r\n"));
      talk.Send(std::string(800, '\x7f'));
      EXPECT_FALSE(talk.Answered(milliseconds(300)));
      EXPECT_EQ(server.stats().challenges, 0);
      talk.Send(std::string(800, '\x7f'));
      EXPECT_EQ(talk.Status(), 401);
      EXPECT_EQ(RawRequest(server, Head("Content-Length: 0\r\n")).Status(), 401);
      EXPECT_EQ(RawRequest(server, Head("", "GET /axis-cgi/jpg/image.cgi")).Status(), 401);
      EXPECT_EQ(server.stats().challenges, 3);
      EXPECT_EQ(server.stats().talk.samples, 0u);
    }
  }
}

// --body-limit: a declared body above the limit is answered 413 before any of it is read;
// the newer firmware's limit is 1 GiB, the design's camera has none.
TEST(TalkEndpointTest, ADeclaredBodyAboveTheLimitIsRefusedAtOnce) {
  struct Case {
    Firmware firmware;
    std::optional<uint64_t> limit;
    uint64_t declared;
    bool refused;
  };
  const Case cases[] = {{Firmware::kCurrent, std::nullopt, kCurrentBodyLimit + 1, true},
                        {Firmware::kCurrent, std::nullopt, kCurrentBodyLimit, false},
                        {Firmware::kDesign, 1000, 1001, true},
                        {Firmware::kDesign, std::nullopt, 2147483647, false}};
  for (const Case& c : cases) {
    Options o;
    o.current.firmware = c.firmware;
    o.current.body_limit = c.limit;
    Server server(o);
    ASSERT_TRUE(server.Start());
    RawRequest talk(server, Head("Content-Type: audio/basic\r\nContent-Length: " + std::to_string(c.declared) + "\r\n"));
    if (c.refused) {
      EXPECT_EQ(talk.Status(), 413) << c.declared;
    } else {
      EXPECT_FALSE(talk.Answered(milliseconds(300))) << c.declared;
    }
    EXPECT_EQ(server.stats().current.too_large, c.refused ? 1 : 0) << c.declared;
  }
}

}  // namespace
}  // namespace vantorel::camsim
