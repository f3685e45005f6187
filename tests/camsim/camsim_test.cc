#include "camsim/server.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <curl/curl.h>

#include "net/http_get.h"
#include "net/http_session.h"
#include "support/camera_process.h"
#include "support/loopback.h"

namespace vantorel::camsim {
namespace {

using std::chrono::milliseconds;

std::string Get(const std::string& url, long* code = nullptr) {
  HttpGet get;
  if (!get.Open(url, "test")) return {};
  std::string body;
  char buf[4096];
  while (const size_t n = get.Read(buf, sizeof buf)) body.append(buf, n);
  if (code) *code = get.ResponseCode();
  return body;
}

// Width and height from a JPEG's frame header.
std::pair<int, int> JpegSize(const std::string& jpeg) {
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (static_cast<uint8_t>(jpeg[i]) == 0xFF && static_cast<uint8_t>(jpeg[i + 1]) == 0xC0) {
      auto byte = [&](size_t at) { return static_cast<uint8_t>(jpeg[at]); };
      return {byte(i + 7) << 8 | byte(i + 8), byte(i + 5) << 8 | byte(i + 6)};
    }
  }
  return {0, 0};
}

TEST(CamsimTest, FaultNamesRoundTrip) {
  for (const char* name : FaultNames()) {
    const auto fault = ParseFault(name);
    ASSERT_TRUE(fault) << name;
    EXPECT_STREQ(FaultName(*fault), name);
  }
  EXPECT_FALSE(ParseFault("explode"));
}

// A raw client for the faults below HTTP: connects to the server, sends `request`.
int SendRaw(const Server& server, const std::string& request) {
  const int fd = test::ConnectToLoopback(server.port());
  EXPECT_GE(fd, 0);
  EXPECT_EQ(send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
  return fd;
}

// Reset: the request is read, then the connection is aborted. No-read: nothing is read or
// answered however much is sent, until the server stops.
TEST(CamsimTest, FaultsBelowHttp) {
  const std::string head = "GET /axis-cgi/jpg/image.cgi HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  {
    Options options;
    options.fault = Fault::kReset;
    Server server(options);
    ASSERT_TRUE(server.Start());
    const int fd = SendRaw(server, head);
    char byte;
    errno = 0;
    EXPECT_EQ(recv(fd, &byte, 1, 0), -1);
    EXPECT_EQ(errno, ECONNRESET);
    close(fd);
    EXPECT_EQ(server.stats().requests, 1);
  }
  {
    Options options;
    options.fault = Fault::kNoRead;
    Server server(options);
    ASSERT_TRUE(server.Start());
    const int fd = SendRaw(server, head);
    // Keep sending until the socket buffers are full: nothing is read on the other side.
    const std::string chunk(65536, 'x');
    size_t sent = 0;
    for (;;) {
      const ssize_t n = send(fd, chunk.data(), chunk.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
      ASSERT_LT(sent, size_t{64} << 20) << "the server reads";
    }
    EXPECT_EQ(errno, EAGAIN);
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 100), 0) << "the server answered";
    server.Stop();
    EXPECT_EQ(poll(&p, 1, 5000), 1) << "stopping the server closes the connection";
    close(fd);
  }
}

// The hostile answers against a still's bounds (smaller ones than the picture's 32 MiB and
// 15 s): each fails with its own reason, within its bound, having
// delivered no more than the body bound allows.
TEST(CamsimTest, HostileAnswersAreCutAtTheStillsBounds) {
  struct Case {
    Fault fault;
    FailureReason reason;
  };
  const Case cases[] = {
      {Fault::kEndlessBody, FailureReason::kTooMuchData},
      {Fault::kInflating, FailureReason::kTooMuchData},
      {Fault::kEndlessTrailers, FailureReason::kTooMuchData},
      {Fault::kSlowBody, FailureReason::kTooSlow},
  };
  // Smaller than a still's so that the table runs quickly also under the sanitizers; the
  // fault matrix runs the picture worker with the still's own bounds.
  HttpGetLimits limits;
  limits.max_body_bytes = 4 << 20;
  limits.max_duration_ms = 1500;
  for (const Case& c : cases) {
    Options options;
    options.fault = c.fault;
    Server server(options);
    ASSERT_TRUE(server.Start());
    const auto start = std::chrono::steady_clock::now();
    HttpGet get;
    ASSERT_TRUE(get.Open(server.Url() + "/axis-cgi/jpg/image.cgi", "test", limits));
    int64_t total = 0;
    size_t most_buffered = 0;
    char buf[16384];
    while (const size_t n = get.Read(buf, sizeof buf)) {
      total += static_cast<int64_t>(n);
      most_buffered = std::max(most_buffered, get.Buffered());
    }
    const auto took = std::chrono::steady_clock::now() - start;
    const Failure failure = get.Outcome();
    EXPECT_EQ(get.state(), HttpGet::State::kFailed) << FaultName(c.fault);
    EXPECT_EQ(failure.reason, c.reason) << FaultName(c.fault) << ": " << failure.detail;
    EXPECT_EQ(failure.http_status, 200) << FaultName(c.fault);
    EXPECT_LE(total, limits.max_body_bytes) << FaultName(c.fault);
    EXPECT_LE(most_buffered, kHttpBufferLimit + CURL_MAX_WRITE_SIZE) << FaultName(c.fault);
    EXPECT_LT(took, milliseconds(limits.max_duration_ms + 1000)) << FaultName(c.fault);
  }
}

// The sign-in on the still and the sound stream: the right account in the URL (with '@',
// ':' and '%' in the password) gets the picture and the sound whatever the scheme and
// algorithm; a wrong or missing one is classified as a refused sign-in.
TEST(CamsimTest, StillsAndSoundNeedTheAccountInTheUrl) {
  struct Case {
    AuthScheme scheme;
    DigestAlgorithm algorithm;
  };
  const Case cases[] = {
      {AuthScheme::kDigest, DigestAlgorithm::kMd5},    {AuthScheme::kDigest, DigestAlgorithm::kMd5Sess},
      {AuthScheme::kDigest, DigestAlgorithm::kSha256}, {AuthScheme::kBasic, DigestAlgorithm::kMd5},
      {AuthScheme::kAny, DigestAlgorithm::kSha256},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(DigestAlgorithmName(c.algorithm)) + ", scheme " + std::to_string(static_cast<int>(c.scheme)));
    Options options;
    options.sign_in = {.account = "ann:p@ss:w%rd", .scheme = c.scheme, .algorithm = c.algorithm};
    Server server(options);
    ASSERT_TRUE(server.Start());
    const std::string host = server.Url().substr(7);
    const std::string still = "/axis-cgi/jpg/image.cgi?resolution=320x240";
    EXPECT_EQ(JpegSize(Get("http://ann:p%40ss%3Aw%25rd@" + host + still)), std::make_pair(320, 240));
    for (const std::string& userinfo : {std::string("ann:p%40ss@"), std::string("ann:door@"), std::string()}) {
      HttpGet get;
      ASSERT_TRUE(get.Open("http://" + userinfo + host + still, "test"));
      char buf[4096];
      while (get.Read(buf, sizeof buf) > 0) {
      }
      const Failure failure = get.Outcome();
      EXPECT_EQ(failure.reason, FailureReason::kErrorStatus) << userinfo;
      EXPECT_EQ(failure.http_status, 401) << userinfo;
    }
    HttpGet sound;
    ASSERT_TRUE(sound.Open("http://ann:p%40ss%3Aw%25rd@" + host + "/axis-cgi/audio/receive.cgi", "test"));
    char buf[1000];
    size_t got = 0;
    while (got < 1000) {
      const size_t n = sound.Read(buf, sizeof buf);
      if (n == 0) break;
      got += n;
    }
    EXPECT_GE(got, 1000u) << sound.Error();
    EXPECT_FALSE(sound.Outcome().failed());
  }
}

// Reads a whole GET on `session`; the still, or empty.
std::string GetOn(HttpSession& session, const std::string& url) {
  HttpGet get(session);
  if (!get.Open(url, "test", {.max_body_bytes = 32 << 20, .max_duration_ms = 15000})) return {};
  std::string body;
  char buf[16384];
  while (const size_t n = get.Read(buf, sizeof buf)) body.append(buf, n);
  return get.Outcome().failed() ? std::string() : body;
}

// Stills on one session keep their connection and their sign-in: one challenge for the
// first still, none after (fresh requests pay one each); an expired nonce costs one more;
// a failure or a Drop() starts a new connection.
TEST(CamsimTest, StillsOnASessionKeepTheConnectionAndTheSignIn) {
  Options options;
  options.sign_in.account = "ann:door";
  options.refuse_every = 3;  // a busy camera: every third still is a 503
  Server server(options);
  ASSERT_TRUE(server.Start());
  const std::string url = "http://ann:door@" + server.Url().substr(7) + "/axis-cgi/jpg/image.cgi?resolution=160x120";

  // A complete answer of another status costs neither the connection nor the sign-in.
  HttpSession session;
  int stills = 0;
  for (int i = 0; i < 30; ++i) stills += JpegSize(GetOn(session, url)) == std::make_pair(160, 120);
  Stats stats = server.stats();
  EXPECT_EQ(stills, 20);
  EXPECT_EQ(stats.challenges, 1);
  EXPECT_EQ(stats.still_connections, 1);  // the challenge's connection carried no still
  EXPECT_EQ(session.connections(), 2);

  for (int i = 0; i < 5; ++i) JpegSize(Get(url));
  EXPECT_EQ(server.stats().challenges, 1 + 5);

  // Drop() forgets the sign-in: the next still connects and is challenged again.
  session.Drop();
  ASSERT_FALSE(GetOn(session, url).empty() && GetOn(session, url).empty());
  EXPECT_EQ(session.connections(), 4);
  EXPECT_EQ(server.stats().challenges, 1 + 5 + 1);
}

TEST(CamsimTest, AnExpiredNonceCostsOneChallengeAndNoStill) {
  Options options;
  options.sign_in.account = "ann:door";
  options.sign_in.nonce_lifetime = milliseconds(200);
  Server server(options);
  ASSERT_TRUE(server.Start());
  const std::string url = "http://ann:door@" + server.Url().substr(7) + "/axis-cgi/jpg/image.cgi?resolution=160x120";
  HttpSession session;
  for (int i = 0; i < 12; ++i) {
    ASSERT_EQ(JpegSize(GetOn(session, url)), std::make_pair(160, 120)) << i;
    std::this_thread::sleep_for(milliseconds(50));
  }
  const Stats stats = server.stats();
  EXPECT_EQ(stats.stills, 12);
  EXPECT_GE(stats.stale_challenges, 1);
  EXPECT_EQ(stats.challenges, 1 + stats.stale_challenges);
}

// --fps: stills are answered at their frame times, one per 1/fps s, also to two clients
// asking at once.
TEST(CamsimTest, StillsComeAtTheCamerasPace) {
  for (const int fps : {0, 40}) {
    Options options;
    options.fps = fps;
    Server server(options);
    ASSERT_TRUE(server.Start());
    const std::string url = server.Url() + "/axis-cgi/jpg/image.cgi?resolution=160x120";
    const auto began = std::chrono::steady_clock::now();
    std::thread other([&] {
      for (int i = 0; i < 10; ++i) Get(url);
    });
    for (int i = 0; i < 10; ++i) Get(url);
    other.join();
    const auto took = std::chrono::steady_clock::now() - began;
    EXPECT_EQ(server.stats().stills, 20);
    if (fps > 0) {
      EXPECT_GE(took, milliseconds(19 * 1000 / fps)) << fps;  // 20 frame times, the first at once
    }
  }
}

TEST(CamsimTest, TheSceneMovesAndTakesTheRequestedResolution) {
  Server server({});
  ASSERT_TRUE(server.Start());
  const std::string base = server.Url() + "/axis-cgi/jpg/image.cgi?resolution=";
  const std::string a = Get(base + "320x240"), b = Get(base + "320x240");
  EXPECT_EQ(JpegSize(a), std::make_pair(320, 240));
  EXPECT_NE(a, b);
  EXPECT_EQ(JpegSize(Get(base + "641x481")), std::make_pair(641, 481));
  for (const char* odd : {"abc", "0x10", "99999x2", "320x240junk", ""}) {
    EXPECT_EQ(JpegSize(Get(base + odd)), std::make_pair(320, 240)) << odd;
  }
  long code = 0;
  Get(server.Url() + "/elsewhere", &code);
  EXPECT_EQ(code, 404);
}

TEST(CamsimTest, StillsAreServedInTurn) {
  Options options;
  options.stills = {"first", "second"};
  Server server(options);
  ASSERT_TRUE(server.Start());
  const std::string url = server.Url() + "/axis-cgi/jpg/image.cgi";
  EXPECT_EQ(Get(url), "first");
  EXPECT_EQ(Get(url), "second");
  EXPECT_EQ(Get(url), "first");
  EXPECT_EQ(server.stats().requests, 3);
}

// --refuse-every 3: the 3rd, 6th, ... still requests are answered 503 with a text body, the
// others with a picture.
TEST(CamsimTest, EveryNthStillIsRefusedWhenAsked) {
  test::CameraProcess camera(VANTOREL_CAMSIM, {"--refuse-every", "3"});
  ASSERT_FALSE(camera.Url().empty());
  const std::string url = camera.Url() + "/axis-cgi/jpg/image.cgi?resolution=160x120";
  for (int i = 1; i <= 7; ++i) {
    long code = 0;
    const std::string body = Get(url, &code);
    if (i % 3 == 0) {
      EXPECT_EQ(code, 503) << i;
      EXPECT_EQ(body, "503 Service Unavailable\n") << i;
    } else {
      EXPECT_EQ(code, 200) << i;
      EXPECT_EQ(JpegSize(body), std::make_pair(160, 120)) << i;
    }
  }
}

TEST(CamsimTest, StoppingEndsAStalledRequest) {
  Options options;
  options.fault = Fault::kStall;
  Server server(options);
  ASSERT_TRUE(server.Start());
  std::thread client([url = server.Url() + "/axis-cgi/jpg/image.cgi"] { Get(url); });
  while (server.stats().requests == 0) std::this_thread::sleep_for(milliseconds(1));
  const auto start = std::chrono::steady_clock::now();
  server.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(2000));
  client.join();
}

TEST(CamsimTest, TheProgramPrintsItsUrlAndEndsOnSigterm) {
  test::CameraProcess camera(VANTOREL_CAMSIM, {"--port", "0"});
  const std::string& url = camera.Url();
  EXPECT_EQ(url.rfind("http://127.0.0.1:", 0), 0u) << url;
  EXPECT_EQ(JpegSize(Get(url + "/axis-cgi/jpg/image.cgi?resolution=320x240")), std::make_pair(320, 240));
  const int status = camera.Terminate();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// param.cgi of the newer firmware: the asked branches' lines (Audio is not AudioSource), the
// cameras' error line for a group that names nothing, behind the sign-in; the design's camera
// has none.
TEST(CamsimTest, TheNewerFirmwareListsItsParameters) {
  Options options;
  options.current.firmware = Firmware::kCurrent;
  options.current.duplex = Duplex::kListen;
  options.sign_in.account = "ann:door";
  Server server(options);
  ASSERT_TRUE(server.Start());
  const std::string query = "/axis-cgi/param.cgi?action=list&group=Audio,root.IOPort.I0,Nothing";
  long code = 0;
  const std::string body = Get("http://ann:door@" + server.Url().substr(7) + query, &code);
  EXPECT_EQ(code, 200);
  EXPECT_NE(body.find("root.Audio.DuplexMode=get\n"), std::string::npos) << body;
  EXPECT_NE(body.find("root.IOPort.I0.Usage=Button\n"), std::string::npos) << body;
  EXPECT_EQ(body.find("root.AudioSource."), std::string::npos) << body;
  EXPECT_TRUE(body.ends_with("\n# Error: Error -1 getting param in group 'Nothing'\n")) << body;
  Get(server.Url() + query, &code);
  EXPECT_EQ(code, 401);
  Server design({});
  ASSERT_TRUE(design.Start());
  Get(design.Url() + query, &code);
  EXPECT_EQ(code, 404);
}

}  // namespace
}  // namespace vantorel::camsim
