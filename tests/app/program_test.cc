// The window program as a user starts it: real processes under the offscreen platform.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QLocalSocket>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/full_screen_flag.h"
#include "app/single_instance.h"

extern char** environ;

namespace vantorel {
namespace {

using namespace std::chrono_literals;

class Process {
 public:
  Process(const std::string& home, std::vector<std::string> args) {
    std::vector<std::string> env_strings = {"VANTOREL_HOME=" + home, "QT_QPA_PLATFORM=offscreen",
                                            "SDL_AUDIODRIVER=dummy", "HOME=" + home};
    std::vector<char*> env;
    for (auto& e : env_strings) env.push_back(e.data());
    env.push_back(nullptr);
    args.insert(args.begin(), VANTOREL_EXE);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, VANTOREL_EXE, nullptr, nullptr, argv.data(), env.data()) != 0) pid_ = -1;
  }
  ~Process() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  // The exit status, or -1 when the process has not ended within `timeout`.
  int WaitExit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }
  bool Running() { return WaitExit(0ms) == -1; }
  void Signal(int sig) { kill(pid_, sig); }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vantorel-app-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    home_ = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(home_); }

  bool WaitListening(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      QLocalSocket s;
      s.connectToServer(InstanceName(QString::fromStdString(home_)));
      if (s.waitForConnected(100)) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }
  std::string home_;
};

TEST_F(ProgramTest, SlashQEndsAtOnceWithZero) {
  EXPECT_EQ(Process(home_, {"/Q"}).WaitExit(10s), 0);
  EXPECT_EQ(Process(home_, {"/Q", "more", "words"}).WaitExit(10s), 0);
  EXPECT_EQ(Process(home_, {"--version"}).WaitExit(10s), 0);
  EXPECT_EQ(Process(home_, {"--help"}).WaitExit(10s), 0);
  // Nothing was created: no parameter file, no window, no instance socket.
  EXPECT_TRUE(std::filesystem::is_empty(home_));
  EXPECT_FALSE(WaitListening(200ms));
}

TEST_F(ProgramTest, LowerCaseSlashQStartsTheProgram) {
  Process p(home_, {"/q"});
  ASSERT_TRUE(WaitListening(20s));
  EXPECT_TRUE(p.Running());
  p.Signal(SIGTERM);
  EXPECT_EQ(p.WaitExit(10s), 0);
}

TEST_F(ProgramTest, SecondStartEndsWith255AndTheFirstStays) {
  Process first(home_, {});
  ASSERT_TRUE(WaitListening(20s));
  Process second(home_, {"127000000001"});
  EXPECT_EQ(second.WaitExit(20s), 255);
  EXPECT_TRUE(first.Running());

  // Another program directory is another instance.
  char tmpl[] = "/tmp/vantorel-app2-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  Process other(tmpl, {});
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(other.Running());
  other.Signal(SIGTERM);
  EXPECT_EQ(other.WaitExit(10s), 0);
  std::filesystem::remove_all(tmpl);

  first.Signal(SIGTERM);
  EXPECT_EQ(first.WaitExit(10s), 0);
}

TEST_F(ProgramTest, StaleSocketFromACrashIsRecovered) {
  {
    Process crashed(home_, {});
    ASSERT_TRUE(WaitListening(20s));
    crashed.Signal(SIGKILL);  // leaves its socket file behind
    EXPECT_EQ(crashed.WaitExit(10s), 1000 + SIGKILL);
  }
  const std::string socket_path =
      (QDir::tempPath() + "/" + InstanceName(QString::fromStdString(home_))).toStdString();
  EXPECT_TRUE(std::filesystem::exists(socket_path));
  Process next(home_, {});
  ASSERT_TRUE(WaitListening(20s));
  EXPECT_TRUE(next.Running());
  next.Signal(SIGTERM);
  EXPECT_EQ(next.WaitExit(10s), 0);
}

TEST_F(ProgramTest, FullScreenSwitchKeepsTheOtherArgumentsMeaning) {
  EXPECT_EQ(Process(home_, {"--fullscreen", "/Q"}).WaitExit(10s), 0);
  EXPECT_EQ(Process(home_, {"--fullscreen", "--help"}).WaitExit(10s), 0);
  EXPECT_TRUE(std::filesystem::is_empty(home_));
  // Full screen, the window runs and ends in order like a plain one.
  Process panel(home_, {"--fullscreen", "127000000001"});
  ASSERT_TRUE(WaitListening(20s));
  EXPECT_TRUE(panel.Running());
  panel.Signal(SIGTERM);
  EXPECT_EQ(panel.WaitExit(10s), 0);
}

TEST(FullScreenFlagTest, TakesEveryCopyAndKeepsTheRestInOrder) {
  const struct {
    std::vector<std::string> args;
    bool found;
    std::vector<std::string> rest;
  } cases[] = {
      {{"vantorel"}, false, {"vantorel"}},
      {{"vantorel", "--fullscreen"}, true, {"vantorel"}},
      {{"vantorel", "--fullscreen", "/Q"}, true, {"vantorel", "/Q"}},
      {{"vantorel", "172016005009", "--fullscreen"}, true, {"vantorel", "172016005009"}},
      {{"vantorel", "--fullscreen", "x", "--fullscreen"}, true, {"vantorel", "x"}},
      // Only the exact word: no prefixes, no single dash, no value.
      {{"vantorel", "--full", "-fullscreen", "--fullscreen=1", "--FULLSCREEN"},
       false,
       {"vantorel", "--full", "-fullscreen", "--fullscreen=1", "--FULLSCREEN"}},
      // The program's own name is never taken.
      {{"--fullscreen", "--fullscreen"}, true, {"--fullscreen"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> storage = c.args;
    std::vector<char*> argv;
    for (auto& a : storage) argv.push_back(a.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(storage.size());
    EXPECT_EQ(TakeFullScreenFlag(argc, argv.data()), c.found) << c.args.back();
    std::vector<std::string> rest(argv.begin(), argv.begin() + argc);
    EXPECT_EQ(rest, c.rest);
    EXPECT_EQ(argv[argc], nullptr);
  }
  // No arguments at all (argc 0) is left alone.
  char* none[] = {nullptr};
  int zero = 0;
  EXPECT_FALSE(TakeFullScreenFlag(zero, none));
  EXPECT_EQ(zero, 0);
}

}  // namespace
}  // namespace vantorel
