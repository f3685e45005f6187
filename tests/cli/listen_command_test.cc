// vantorel-cli listen against the simulated camera, run as the user runs it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "cli/failure_text.h"
#include "runtime/failure.h"
#include "files/wav_file.h"
#include "receive_test_support.h"
#include "support/loopback.h"

namespace vantorel {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

struct ListenRun {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string out;
};

// Runs vantorel-cli listen with `args`; after `interrupt_after` (if given) sends SIGINT.
// With `nobody_reads`, its output is a pipe that nobody reads (closed at once).
ListenRun Listen(std::vector<std::string> args, std::optional<milliseconds> interrupt_after = std::nullopt,
                 bool nobody_reads = false) {
  int out[2];
  if (pipe(out) != 0) return {};
  args.insert(args.begin(), {VANTOREL_CLI, "listen"});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    execv(VANTOREL_CLI, argv.data());
    _exit(127);
  }
  close(out[1]);
  if (nobody_reads) close(out[0]);
  if (interrupt_after) {
    std::this_thread::sleep_for(*interrupt_after);
    kill(pid, SIGINT);
  }
  ListenRun run;
  char buf[256];
  if (!nobody_reads) {
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) run.out.append(buf, static_cast<size_t>(n));
    close(out[0]);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class ListenCommandTest : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vantorel-listen-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::vector<int16_t> ReadWav(const std::string& path) {
    std::vector<int16_t> samples;
    std::string error;
    EXPECT_TRUE(ReadWavMono16(path, kAudioSampleRate, samples, error)) << error;
    return samples;
  }
  std::string Url(const camsim::Server& camera) const { return camera.Url() + kReceivePath; }

  std::string dir_;
};

TEST_F(ListenCommandTest, WritesEveryDecodedFrameInOrderUntilTheStreamEnds) {
  camsim::Options o;
  o.audio_parts = 30;
  o.audio_part_interval = milliseconds(0);
  o.audio_faults = camsim::kAudioGarbage | camsim::kAudioSplit;
  const auto camera = AudioCamera(o);
  ASSERT_TRUE(camera);
  const std::string wav = dir_ + "/out.wav";
  const ListenRun run = Listen({Url(*camera), "--once", "-o", wav});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "30 frames (1.50 s of sound)\n");
  EXPECT_EQ(ReadWav(wav), Decoded(SentFrames(camsim::DoorChime(), o.audio_faults, 30)));
  EXPECT_EQ(camera->stats().last_user_agent, "Halvicor Speaker read.");
}

TEST_F(ListenCommandTest, EndsAfterTheGivenSecondsOrOnCtrlCAndKeepsWhatCame) {
  const auto camera = AudioCamera({});  // endless, in real time
  ASSERT_TRUE(camera);
  for (const bool interrupt : {false, true}) {
    const std::string wav = dir_ + (interrupt ? "/interrupted.wav" : "/timed.wav");
    const ListenRun run = interrupt ? Listen({Url(*camera), "-o", wav}, milliseconds(600))
                              : Listen({Url(*camera), "--seconds", "0.6", "-o", wav});
    EXPECT_EQ(run.status, 0) << interrupt;
    long frames = 0;
    ASSERT_EQ(std::sscanf(run.out.c_str(), "%ld frames", &frames), 1) << run.out;
    EXPECT_GE(frames, 4) << run.out;
    EXPECT_LE(frames, 30) << run.out;
    EXPECT_EQ(run.out.find("interrupted") != std::string::npos, interrupt) << run.out;
    EXPECT_EQ(ReadWav(wav), Decoded(SentFrames(camsim::DoorChime(), 0, static_cast<int>(frames))));
  }
}

TEST_F(ListenCommandTest, PlaysThroughTheOutputDeviceWithoutAFile) {
  // The tests run with SDL's silent "dummy" driver.
  const auto camera = AudioCamera({});
  ASSERT_TRUE(camera);
  const ListenRun run = Listen({Url(*camera), "--seconds", "1.5"});  // room for a slow start (sanitizers)
  EXPECT_EQ(run.status, 0);
  long frames = 0;
  ASSERT_EQ(std::sscanf(run.out.c_str(), "%ld frames", &frames), 1) << run.out;
  EXPECT_GE(frames, 3);
  // Writing to a closed pipe fails; it does not kill the program (SIGPIPE).
  EXPECT_EQ(Listen({Url(*camera), "--seconds", "0.2"}, std::nullopt, true).status, 0);
}

TEST_F(ListenCommandTest, ReportsACameraThatCannotBeReachedAndBadArguments) {
  int port;
  {
    camsim::Server gone({});
    ASSERT_TRUE(gone.Start());
    port = gone.port();
  }
  const std::string wav = dir_ + "/none.wav";
  EXPECT_EQ(Listen({"http://127.0.0.1:" + std::to_string(port) + kReceivePath, "--once", "-o", wav}).status,
            cli::FailureExitCode(FailureReason::kCannotConnect));
  EXPECT_FALSE(fs::exists(wav));
  // A file that cannot be written is reported before listening, not after the recording.
  const auto camera = AudioCamera({});
  ASSERT_TRUE(camera);
  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(Listen({Url(*camera), "--seconds", "5", "-o", dir_ + "/no/such/dir/out.wav"}).status, 1);
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(4));
  EXPECT_EQ(camera->stats().requests, 0);
  EXPECT_EQ(Listen({}).status, 2);
  EXPECT_EQ(Listen({"http://127.0.0.1:1/", "--seconds", "0"}).status, 2);
  EXPECT_EQ(Listen({"http://127.0.0.1:1/", "--seconds", "x"}).status, 2);
  EXPECT_EQ(Listen({"http://127.0.0.1:1/", "extra", "words"}).status, 2);
}

// A camera whose sound is in a format Vantorel does not play (AAC here) is named as such
// within a few seconds, not listened to in silence.
TEST_F(ListenCommandTest, ASoundFormatNotPlayedEndsWithItsName) {
  int port = 0;
  const int listening = test::ListenOnLoopback(1, &port);
  std::thread camera([listening] {
    const int c = accept(listening, nullptr, nullptr);
    char buf[2048];
    if (c < 0 || recv(c, buf, sizeof buf, 0) <= 0) return;
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: audio/aac\r\n\r\n";
    bool ok = send(c, head.data(), head.size(), MSG_NOSIGNAL) > 0;
    const std::string frame(160, '\x5a');
    while (ok) {  // 20 ms of "sound" every 20 ms until the listener goes
      ok = send(c, frame.data(), frame.size(), MSG_NOSIGNAL) > 0;
      std::this_thread::sleep_for(milliseconds(20));
    }
    close(c);
  });
  const auto began = std::chrono::steady_clock::now();
  const ListenRun run = Listen({"http://127.0.0.1:" + std::to_string(port) + kReceivePath, "--once"});
  EXPECT_EQ(run.status, cli::FailureExitCode(FailureReason::kNotSound));
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(6));
  camera.join();
  close(listening);
}

}  // namespace
}  // namespace vantorel
