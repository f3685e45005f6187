// The window program as a user starts it: real processes under the offscreen platform.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <fstream>
#include <map>
#include <sstream>
#include <chrono>
#include <algorithm>
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

// Each test's own private directories, so that no test meets another's instance.
struct TestDirs {
  std::string home, runtime, temp;
};

class Process {
 public:
  // `env` is added to (or, with an empty value, removes from) the usual environment.
  Process(const TestDirs& dirs, std::vector<std::string> args, std::map<std::string, std::string> env = {},
          const std::string& stderr_file = "") {
    std::map<std::string, std::string> vars = {
        {"VANTOREL_HOME", dirs.home}, {"QT_QPA_PLATFORM", "offscreen"}, {"SDL_AUDIODRIVER", "dummy"},
        {"HOME", dirs.home},          {"XDG_RUNTIME_DIR", dirs.runtime}, {"TMPDIR", dirs.temp}};
    for (const auto& [k, v] : env) vars[k] = v;
    std::vector<std::string> env_strings;
    for (const auto& [k, v] : vars) {
      if (!v.empty()) env_strings.push_back(k + "=" + v);
    }
    std::vector<char*> envp;
    for (auto& e : env_strings) envp.push_back(e.data());
    envp.push_back(nullptr);
    args.insert(args.begin(), VANTOREL_EXE);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!stderr_file.empty()) {
      posix_spawn_file_actions_addopen(&actions, 2, stderr_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    if (posix_spawn(&pid_, VANTOREL_EXE, &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
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

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vantorel-app-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    dirs_ = {root_ + "/home", root_ + "/run", root_ + "/tmp"};
    for (const auto& d : {dirs_.home, dirs_.runtime, dirs_.temp}) ASSERT_EQ(mkdir(d.c_str(), 0700), 0);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  // Where the program started with dirs_ listens for raise requests.
  std::string SocketPath() const {
    InstanceDirectoryInputs in{dirs_.runtime, dirs_.temp, dirs_.home + "/.cache", getuid()};
    return ChooseInstanceDirectory(in) + "/" + InstanceKey(dirs_.home) + ".sock";
  }
  bool WaitListening(std::chrono::milliseconds timeout) {
    const std::string path = SocketPath();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
      const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      const bool up = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
      close(fd);
      if (up) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }
  std::string root_;
  TestDirs dirs_;
};

TEST_F(ProgramTest, SlashQEndsAtOnceWithZero) {
  EXPECT_EQ(Process(dirs_, {"/Q"}).WaitExit(10s), 0);
  EXPECT_EQ(Process(dirs_, {"/Q", "more", "words"}).WaitExit(10s), 0);
  EXPECT_EQ(Process(dirs_, {"--version"}).WaitExit(10s), 0);
  EXPECT_EQ(Process(dirs_, {"--help"}).WaitExit(10s), 0);
  // Nothing was created: no parameter file, no window, no instance socket.
  EXPECT_TRUE(std::filesystem::is_empty(dirs_.home));
  EXPECT_FALSE(WaitListening(200ms));
}

TEST_F(ProgramTest, LowerCaseSlashQStartsTheProgram) {
  Process p(dirs_, {"/q"});
  ASSERT_TRUE(WaitListening(20s));
  EXPECT_TRUE(p.Running());
  p.Signal(SIGTERM);
  EXPECT_EQ(p.WaitExit(10s), 0);
}

TEST_F(ProgramTest, SecondStartEndsWith255AndTheFirstStays) {
  Process first(dirs_, {});
  ASSERT_TRUE(WaitListening(20s));
  Process second(dirs_, {"127000000001"});
  EXPECT_EQ(second.WaitExit(20s), 255);
  EXPECT_TRUE(first.Running());

  // Another program directory is another instance.
  TestDirs other_dirs = dirs_;
  other_dirs.home = root_ + "/other-home";
  ASSERT_EQ(mkdir(other_dirs.home.c_str(), 0700), 0);
  Process other(other_dirs, {});
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(other.Running());
  other.Signal(SIGTERM);
  EXPECT_EQ(other.WaitExit(10s), 0);

  first.Signal(SIGTERM);
  EXPECT_EQ(first.WaitExit(10s), 0);
}

TEST_F(ProgramTest, StaleSocketFromACrashIsRecovered) {
  {
    Process crashed(dirs_, {});
    ASSERT_TRUE(WaitListening(20s));
    crashed.Signal(SIGKILL);  // leaves its socket file behind
    EXPECT_EQ(crashed.WaitExit(10s), 1000 + SIGKILL);
  }
  EXPECT_TRUE(std::filesystem::exists(SocketPath()));  // left behind, and nobody listens
  Process next(dirs_, {});
  ASSERT_TRUE(WaitListening(20s));
  EXPECT_TRUE(next.Running());
  next.Signal(SIGTERM);
  EXPECT_EQ(next.WaitExit(10s), 0);
}

TEST_F(ProgramTest, QtsOwnOptionsAreOnlyWords) {
  // Qt would take "-platform NAME" and abort, as no such platform exists: the program must
  // not hand it on. (Likewise -reverse, -style, -qwindowtitle, -qwindowgeometry.)
  Process p(dirs_, {"-platform", "no-such-platform", "-reverse"});
  ASSERT_TRUE(WaitListening(20s));
  EXPECT_TRUE(p.Running());
  p.Signal(SIGTERM);
  EXPECT_EQ(p.WaitExit(10s), 0);
}

TEST_F(ProgramTest, NoDisplayEndsWith255AndOneLine) {
  const struct {
    const char* what;
    std::map<std::string, std::string> env;
  } cases[] = {
      {"no window system named", {{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}},
      // Named but not there: Qt's platform fails to start, which would abort.
      {"an X server that is not there", {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":93"}, {"WAYLAND_DISPLAY", ""}}},
  };
  for (const auto& c : cases) {
    const std::string err = root_ + "/stderr";
    Process p(dirs_, {}, c.env, err);
    EXPECT_EQ(p.WaitExit(20s), 255) << c.what;
    const std::string text = ReadText(err);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << c.what << ": " << text;
    EXPECT_NE(text.find("cannot open the window"), std::string::npos) << c.what << ": " << text;
  }
}

TEST_F(ProgramTest, FullScreenSwitchKeepsTheOtherArgumentsMeaning) {
  EXPECT_EQ(Process(dirs_, {"--fullscreen", "/Q"}).WaitExit(10s), 0);
  EXPECT_EQ(Process(dirs_, {"--fullscreen", "--help"}).WaitExit(10s), 0);
  EXPECT_TRUE(std::filesystem::is_empty(dirs_.home));
  // Full screen, the window runs and ends in order like a plain one.
  Process panel(dirs_, {"--fullscreen", "127000000001"});
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
