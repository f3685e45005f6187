// `vantorel-cli urls` as a user runs it: the settings seen from outside.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct Result {
  int status;
  std::string out;
};

Result RunCli(const std::string& home, const std::string& args) {
  const std::string cmd = "VANTOREL_HOME='" + home + "' '" VANTOREL_CLI "' " + args + " 2>/dev/null";
  Result r{-1, {}};
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 512> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  const int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

class CliUrlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vantorel-cli-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    home_ = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(home_); }
  std::string home_;
};

TEST_F(CliUrlsTest, DefaultsThenParameterFileThenAddress) {
  EXPECT_EQ(RunCli(home_, "urls").out,
            "http://192.168.0.90/axis-cgi/jpg/image.cgi?resolution=320x240\n"
            "http://192.168.0.90/axis-cgi/audio/receive.cgi\n"
            "http://192.168.0.90/axis-cgi/audio/transmit.cgi\n");
  std::ofstream(home_ + "/VANTOREL.PRA") << "http://127.0.0.1:8080/i\nhttp://127.0.0.1:8080/r\n";
  EXPECT_EQ(RunCli(home_, "urls").out,
            "http://127.0.0.1:8080/i\nhttp://127.0.0.1:8080/r\n"
            "http://192.168.0.90/axis-cgi/audio/transmit.cgi\n");
  const Result r = RunCli(home_, "urls 172016005009");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "http://172.16.5.9/axis-cgi/jpg/image.cgi?resolution=320x240\n"
            "http://172.16.5.9/axis-cgi/audio/receive.cgi\n"
            "http://172.16.5.9/axis-cgi/audio/transmit.cgi\n");
  // A bad address changes nothing; reading never writes.
  EXPECT_EQ(RunCli(home_, "urls 17201600500x").out.substr(0, 24), "http://127.0.0.1:8080/i\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home_), {}), 1);
}

TEST_F(CliUrlsTest, BadCommandLinesFailClearly) {
  EXPECT_EQ(RunCli(home_, "").status, 2);
  EXPECT_EQ(RunCli(home_, "nonsense").status, 2);
  EXPECT_EQ(RunCli(home_, "urls 1 2").status, 2);
  EXPECT_EQ(RunCli(home_, "--help").status, 0);
  // Packaging and help2man ask the installed program for its version.
  const auto version = RunCli(home_, "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("vantorel-cli ", 0), 0u) << version.out;
  EXPECT_EQ(RunCli(home_, "--versions").status, 2);
}

}  // namespace
