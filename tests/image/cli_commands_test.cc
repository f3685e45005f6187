// vantorel-cli snapshot, decode-jpeg and watch, run as the user runs them.

#include <gtest/gtest.h>

#include <chrono>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "cli/failure_text.h"
#include "camsim/server.h"
#include "runtime/failure.h"
#include "test_support.h"

namespace vantorel {
namespace {

namespace fs = std::filesystem;

class CliTest : public ::testing::Test {
 protected:
  // Runs vantorel-cli with `args`; stdout and stderr land in out_ and err_.
  int Cli(const std::string& args) {
    const std::string command = std::string(VANTOREL_CLI) + " " + args + " >" + dir_.File("out") + " 2>" +
                                dir_.File("err");
    const int status = std::system(command.c_str());
    out_ = test::ReadBytes(dir_.File("out"));
    err_ = test::ReadBytes(dir_.File("err"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string ImageUrl(const camsim::Server& s) const {
    return "'" + s.Url() + "/axis-cgi/jpg/image.cgi?resolution=320x240'";
  }

  test::ScratchDir dir_;
  test::ScopedEnv home_{"VANTOREL_HOME", dir_.path().string()};
  std::string out_, err_;
};

TEST_F(CliTest, SnapshotWritesABmpFileOrNothing) {
  camsim::Server camera({});
  ASSERT_TRUE(camera.Start());
  const std::string bmp = dir_.File("still.bmp");
  ASSERT_EQ(Cli("snapshot " + ImageUrl(camera) + " -o " + bmp), 0) << err_;
  const std::string file = test::ReadBytes(bmp);
  ASSERT_EQ(file.size(), 14u + 40u + 960u * 240u);
  EXPECT_EQ(file.substr(0, 2), "BM");
  EXPECT_FALSE(fs::exists(dir_.File("temp.jpg")));

  const std::string none = dir_.File("none.bmp");
  camera.Stop();
  EXPECT_EQ(Cli("snapshot " + ImageUrl(camera) + " -o " + none), cli::FailureExitCode(FailureReason::kCannotConnect));
  EXPECT_FALSE(fs::exists(none));
  EXPECT_EQ(err_.rfind("vantorel-cli: no picture: ", 0), 0u) << err_;
  EXPECT_EQ(err_.find('\n'), err_.size() - 1) << err_;
  EXPECT_EQ(Cli("snapshot"), 2);
}

TEST_F(CliTest, DecodeJpegMatchesTheReferenceAndRefusesGarbage) {
  const std::string jpeg = test::EncodeWithLibavcodec(321, 200, 420);
  test::WriteBytes(dir_.File("in.jpg"), jpeg);
  ASSERT_EQ(Cli("decode-jpeg " + dir_.File("in.jpg") + " -o " + dir_.File("out.bmp")), 0) << err_;
  const std::string ours = test::ReadBytes(dir_.File("out.bmp"));
  const std::string reference = test::DjpegBmp(jpeg, false);
  ASSERT_EQ(ours.size(), reference.size());
  EXPECT_EQ(ours.substr(54), reference.substr(54));  // every pixel and padding byte

  test::WriteBytes(dir_.File("page.jpg"), "<html>no</html>");
  EXPECT_EQ(Cli("decode-jpeg " + dir_.File("page.jpg") + " -o " + dir_.File("bad.bmp")), 1);
  EXPECT_NE(err_.find("Not a JPEG file"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(dir_.File("bad.bmp")));
  EXPECT_EQ(Cli("decode-jpeg " + dir_.File("missing.jpg") + " -o " + dir_.File("bad.bmp")), 1);
  EXPECT_FALSE(fs::exists(dir_.File("bad.bmp")));
}

TEST_F(CliTest, WatchReportsTheRateAndFailures) {
  camsim::Server camera({});
  ASSERT_TRUE(camera.Start());
  const std::string last = dir_.File("last.bmp");
  ASSERT_EQ(Cli("watch " + ImageUrl(camera) + " --count 20 -o " + last), 0) << err_;
  EXPECT_NE(out_.find(" stills/s (20 of 20 in "), std::string::npos) << out_;
  EXPECT_EQ(camera.stats().requests, 20);
  EXPECT_EQ(test::ReadBytes(last).size(), 14u + 40u + 960u * 240u);

  camsim::Options options;
  options.fault = camsim::Fault::kServerError;
  camsim::Server broken(options);
  ASSERT_TRUE(broken.Start());
  const std::string none = dir_.File("none.bmp");
  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(Cli("watch " + ImageUrl(broken) + " --count 3 -o " + none), 1);
  EXPECT_NE(out_.find("failed 3 times: the camera did not send a picture (HTTP 500)"), std::string::npos) << out_;
  // The picture's pauses between failures: 100 ms, then 200 ms.
  EXPECT_GE(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(300));
  EXPECT_FALSE(fs::exists(none));
  EXPECT_EQ(Cli("watch " + ImageUrl(broken) + " --count 0"), 2);
}

TEST_F(CliTest, WatchTakesAStreamsFramesOverOneConnectionAndSnapshotItsFirst) {
  const std::string jpeg = test::EncodeWithLibavcodec(321, 200, 420);
  camsim::Options options;
  options.stills = {jpeg};
  camsim::Server camera(options);
  ASSERT_TRUE(camera.Start());
  const std::string stream = "'" + camera.Url() + "/axis-cgi/mjpg/video.cgi?fps=25'";
  const std::string last = dir_.File("last.bmp");
  ASSERT_EQ(Cli("watch " + stream + " --count 50 -o " + last), 0) << err_;
  EXPECT_NE(out_.find(" (50 of 50 in "), std::string::npos) << out_;
  EXPECT_NE(out_.find(", 1 connection)"), std::string::npos) << out_;
  EXPECT_EQ(camera.stats().requests, 1);
  const std::string reference = test::DjpegBmp(jpeg, false);
  std::string ours = test::ReadBytes(last);
  ASSERT_EQ(ours.size(), reference.size());
  EXPECT_EQ(ours.substr(54), reference.substr(54));  // every pixel and padding byte

  ASSERT_EQ(Cli("snapshot " + stream + " -o " + dir_.File("first.bmp")), 0) << err_;
  ours = test::ReadBytes(dir_.File("first.bmp"));
  ASSERT_EQ(ours.size(), reference.size());
  EXPECT_EQ(ours.substr(54), reference.substr(54));
}

}  // namespace
}  // namespace vantorel
