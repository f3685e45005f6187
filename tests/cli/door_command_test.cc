// vantorel-cli rings, open and visitors against the simulated camera, run as a user runs them.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "support/camera_process.h"

namespace vantorel {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int status = -1;
  std::string out;
};

// Runs vantorel-cli with `args`, VANTOREL_HOME set to `home` when given.
CliRun Cli(std::vector<std::string> args, const std::string& home = "") {
  int out[2];
  if (pipe(out) != 0) return {};
  args.insert(args.begin(), VANTOREL_CLI);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    if (!home.empty()) setenv("VANTOREL_HOME", home.c_str(), 1);
    execv(VANTOREL_CLI, argv.data());
    _exit(127);
  }
  close(out[1]);
  CliRun run;
  char buf[256];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) run.out.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string WithUser(const std::string& url, const std::string& userinfo) {
  return "http://" + userinfo + "@" + url.substr(7);
}

TEST(DoorCommandTest, RingsPrintsEachPressWithItsLocalTime) {
  test::CameraProcess camera(VANTOREL_CAMSIM, {"--ring-at", "2,6", "--auth", "ann:door"});
  ASSERT_FALSE(camera.Url().empty());
  // Any of the camera's URLs will do: here the still's.
  const CliRun run = Cli({"rings", WithUser(camera.Url(), "ann:door") + "/axis-cgi/jpg/image.cgi", "--seconds", "7.5"});
  EXPECT_EQ(run.status, 0) << run.out;
  const std::regex two_lines(R"((ring port 1 at \d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d\n){2})");
  EXPECT_TRUE(std::regex_match(run.out, two_lines)) << run.out;
}

TEST(DoorCommandTest, OpenPulsesTheOutputAndAWrongPasswordExits13) {
  test::CameraProcess camera(VANTOREL_CAMSIM, {"--auth", "ann:door"});
  ASSERT_FALSE(camera.Url().empty());
  const CliRun open = Cli({"open", WithUser(camera.Url(), "ann:door"), "--port", "1", "--ms", "1500"});
  EXPECT_EQ(open.status, 0) << open.out;
  EXPECT_EQ(camera.NextLine(), "relay: port 1 pulse 1500 ms");
  EXPECT_EQ(Cli({"open", WithUser(camera.Url(), "ann:window")}).status, 13);
  EXPECT_EQ(Cli({"rings", WithUser(camera.Url(), "ann:window"), "--seconds", "5"}).status, 13);
  EXPECT_EQ(camera.NextLine(std::chrono::milliseconds(200)), "");  // no pulse without the password
}

TEST(DoorCommandTest, VisitorsListsOurPicturesNewestFirst) {
  char pattern[] = "/tmp/vantorel-cli-visitors-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = std::string(pattern) + "/visitors";
  fs::create_directory(dir);
  for (const char* name : {"20261209-083005.jpg", "20261209-083005-2.jpg", "20261208-230000.jpg", "notes.txt"}) {
    std::ofstream(dir + "/" + name) << "12345";
  }
  const CliRun run = Cli({"visitors"}, pattern);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, dir + "/20261209-083005-2.jpg\t5\n" + dir + "/20261209-083005.jpg\t5\n" + dir +
                         "/20261208-230000.jpg\t5\n");
  fs::remove_all(pattern);
}

}  // namespace
}  // namespace vantorel
