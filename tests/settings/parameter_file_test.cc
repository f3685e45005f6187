#include "settings/parameter_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "settings/camera_settings.h"

namespace vantorel {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

const CameraUrls kOld{"http://127.0.0.1:1/old-image", "http://127.0.0.1:1/old-rx", "http://127.0.0.1:1/old-tx"};
const CameraUrls kNew{"http://127.0.0.1:2/new-image", "http://127.0.0.1:2/new-rx", "http://127.0.0.1:2/new-tx"};

std::string FileFor(const CameraUrls& u) { return u.image + "\n" + u.receive + "\n" + u.transmit + "\n"; }

class ParameterFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vantorel-params-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    settings_.ComposeParameterPaths(dir_);
    paths_ = settings_.GetParameterPaths();
  }
  void TearDown() override { fs::remove_all(dir_); }
  CameraSettings settings_;
  std::string dir_;
  ParameterPaths paths_;
};

TEST_F(ParameterFileTest, PathsAreTheThreeNamesInTheDirectory) {
  EXPECT_EQ(paths_.parameter, dir_ + "/VANTOREL.PRA");
  EXPECT_EQ(paths_.fresh, dir_ + "/VANTOREL._PR");
  EXPECT_EQ(paths_.backup, dir_ + "/VANTOREL.P$$");
}

TEST_F(ParameterFileTest, NoFileKeepsDefaultsAndWritesNothing) {
  const CameraUrls defaults = settings_.GetCameraUrls();
  EXPECT_FALSE(settings_.LoadParameters());
  EXPECT_EQ(settings_.GetCameraUrls(), defaults);
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(ParameterFileTest, PartialFilesFillOnlyTheSlotsTheyHold) {
  const CameraUrls defaults = settings_.GetCameraUrls();
  WriteFile(paths_.parameter, "http://127.0.0.1/only-image\n");
  EXPECT_FALSE(settings_.LoadParameters());
  EXPECT_EQ(settings_.GetImageUrl(), "http://127.0.0.1/only-image");
  EXPECT_EQ(settings_.GetReceiveUrl(), defaults.receive);
  EXPECT_EQ(settings_.GetTransmitUrl(), defaults.transmit);

  settings_.ResetCameraUrls();
  WriteFile(paths_.parameter, "");
  EXPECT_FALSE(settings_.LoadParameters());
  EXPECT_EQ(settings_.GetCameraUrls(), defaults);

  // A last line without a line end still counts.
  WriteFile(paths_.parameter, "a\nb\nc");
  EXPECT_TRUE(settings_.LoadParameters());
  EXPECT_EQ(settings_.GetCameraUrls(), (CameraUrls{"a", "b", "c"}));
}

TEST_F(ParameterFileTest, ReadsCrlfAndByteOrderMark) {
  WriteFile(paths_.parameter, "\xEF\xBB\xBFhttp://a/1\r\nhttp://a/2\r\nhttp://a/3\r\n");
  EXPECT_TRUE(settings_.LoadParameters());
  EXPECT_EQ(settings_.GetCameraUrls(), (CameraUrls{"http://a/1", "http://a/2", "http://a/3"}));
}

TEST_F(ParameterFileTest, LongLineIsCutAndItsRestBecomesTheNextLine) {
  const std::string euro = "\xE2\x82\xAC";  // three bytes, one character
  std::string first = std::string(1022, 'x') + euro + "REST";
  WriteFile(paths_.parameter, first + "\nthird\n");
  EXPECT_TRUE(settings_.LoadParameters());
  EXPECT_EQ(settings_.GetImageUrl(), std::string(1022, 'x') + euro);
  EXPECT_EQ(settings_.GetReceiveUrl(), "REST");
  EXPECT_EQ(settings_.GetTransmitUrl(), "third");

  // Exactly 1023 characters is not too long: the line end belongs to it, LF or CRLF.
  for (const std::string eol : {"\n", "\r\n"}) {
    WriteFile(paths_.parameter, std::string(1023, 'y') + eol + "b" + eol + "c" + eol);
    EXPECT_TRUE(settings_.LoadParameters());
    EXPECT_EQ(settings_.GetCameraUrls(), (CameraUrls{std::string(1023, 'y'), "b", "c"}));
  }
  // One character more: the cut leaves the last character and the CRLF for the next line.
  WriteFile(paths_.parameter, std::string(1024, 'z') + "\r\nb\r\n");
  EXPECT_TRUE(settings_.LoadParameters());
  EXPECT_EQ(settings_.GetCameraUrls(), (CameraUrls{std::string(1023, 'z'), "z", "b"}));
}

TEST_F(ParameterFileTest, SaveThenLoadGivesTheSameUrls) {
  settings_.SetCameraUrls(kNew);
  settings_.SaveParameters();
  EXPECT_EQ(ReadFile(paths_.parameter), FileFor(kNew));
  settings_.ResetCameraUrls();
  EXPECT_TRUE(settings_.LoadParameters());
  EXPECT_EQ(settings_.GetCameraUrls(), kNew);
}

TEST_F(ParameterFileTest, ControlCharactersNeverReachTheFile) {
  // A URL pasted with its line end, a tab, DEL: every URL still takes exactly one line.
  settings_.SetCameraUrls({"http://cam2/img\r\n", "http://127.0.0.1/r\tx\x01", "\x7f\nhttp://c\r"});
  settings_.SaveParameters();
  EXPECT_EQ(ReadFile(paths_.parameter), "http://cam2/img\nhttp://127.0.0.1/rx\nhttp://c\n");
  settings_.ResetCameraUrls();
  EXPECT_TRUE(settings_.LoadParameters());
  EXPECT_EQ(settings_.GetCameraUrls(), (CameraUrls{"http://cam2/img", "http://127.0.0.1/rx", "http://c"}));
}

TEST_F(ParameterFileTest, FirstSaveReportsFalseButPutsTheFileInPlace) {
  settings_.SetCameraUrls(kNew);
  CameraSettings::SaveReport report;
  EXPECT_FALSE(settings_.SaveParameters(&report));
  EXPECT_TRUE(report.saved);
  EXPECT_EQ(report.failure, "");  // nothing to back up is no failure to show
  EXPECT_EQ(ReadFile(paths_.parameter), FileFor(kNew));
  EXPECT_FALSE(fs::exists(paths_.backup));
  EXPECT_FALSE(fs::exists(paths_.fresh));
}

TEST_F(ParameterFileTest, TwoSavesKeepTheFirstAsBackup) {
  settings_.SetCameraUrls(kOld);
  settings_.SaveParameters();
  settings_.SetCameraUrls(kNew);
  WriteFile(paths_.backup, "stale backup\n");
  EXPECT_TRUE(settings_.SaveParameters());
  EXPECT_EQ(ReadFile(paths_.parameter), FileFor(kNew));
  EXPECT_EQ(ReadFile(paths_.backup), FileFor(kOld));
  EXPECT_FALSE(fs::exists(paths_.fresh));
  // Once more: the backup follows.
  settings_.SetCameraUrls(kOld);
  EXPECT_TRUE(settings_.SaveParameters());
  EXPECT_EQ(ReadFile(paths_.backup), FileFor(kNew));
}

TEST_F(ParameterFileTest, FilesAreCreatedPrivate) {
  // A parameter file that another tool wrote readable by everyone, and a leftover new file.
  WriteFile(paths_.parameter, FileFor(kOld));
  chmod(paths_.parameter.c_str(), 0644);
  WriteFile(paths_.fresh, "x");
  chmod(paths_.fresh.c_str(), 0666);
  settings_.SetCameraUrls(kNew);
  settings_.SaveParameters();  // false: there was no backup to remove
  // The backup holds the old URLs (maybe with a password) but is no longer readable by all.
  EXPECT_EQ(ReadFile(paths_.backup), FileFor(kOld));
  for (const auto& p : {paths_.parameter, paths_.backup}) {
    struct stat st{};
    ASSERT_EQ(stat(p.c_str(), &st), 0) << p;
    EXPECT_EQ(st.st_mode & 0777, 0600u) << p;
  }
}

TEST_F(ParameterFileTest, WriteNeverFollowsASymlink) {
  const std::string target = dir_ + "/elsewhere";
  WriteFile(target, "precious\n");
  ASSERT_EQ(symlink(target.c_str(), paths_.fresh.c_str()), 0);
  EXPECT_TRUE(settings_.WriteParameters(paths_.fresh));
  EXPECT_EQ(ReadFile(target), "precious\n");
}

// Each step of a save made to fail in turn: afterwards a loadable parameter file holds
// either the old or the new URLs, whole.
struct FailAt {
  static inline int step = 0;
  static bool Refuse(int this_step, std::string& e) {
    if (step == this_step) e = "step " + std::to_string(step) + " refused";
    return step == this_step;
  }
  static bool Write(const std::string& p, const std::string& c, std::string& e) {
    return !Refuse(1, e) && DefaultParameterFileOps().write_file(p, c, e);
  }
  static bool Remove(const std::string& p, std::string& e) {
    return !Refuse(2, e) && DefaultParameterFileOps().remove_file(p, e);
  }
  static bool Copy(const std::string& a, const std::string& b, std::string& e) {
    return !Refuse(3, e) && DefaultParameterFileOps().copy_file(a, b, e);
  }
  static bool Replace(const std::string& a, const std::string& b, std::string& e) {
    return !Refuse(4, e) && DefaultParameterFileOps().replace_file(a, b, e);
  }
};

TEST_F(ParameterFileTest, FailureAtAnyStepLeavesOldOrNewFileWhole) {
  const ParameterFileOps failing{FailAt::Write, FailAt::Remove, FailAt::Copy, FailAt::Replace};
  for (int step = 1; step <= 4; ++step) {
    settings_.SetFileOps(DefaultParameterFileOps());
    fs::remove_all(dir_);
    fs::create_directory(dir_);
    settings_.SetCameraUrls(kOld);
    settings_.SaveParameters();
    settings_.SaveParameters();  // a backup exists as well

    FailAt::step = step;
    settings_.SetFileOps(failing);
    settings_.SetCameraUrls(kNew);
    CameraSettings::SaveReport report;
    EXPECT_FALSE(settings_.SaveParameters(&report)) << "step " << step;
    // The report names the step that failed, and says whether the new URLs are on disk.
    EXPECT_EQ(report.failure, "step " + std::to_string(step) + " refused");
    EXPECT_EQ(report.saved, step == 2 || step == 3) << "step " << step;
    settings_.SetFileOps(DefaultParameterFileOps());

    settings_.ResetCameraUrls();
    EXPECT_TRUE(settings_.LoadParameters()) << "step " << step;
    const CameraUrls loaded = settings_.GetCameraUrls();
    EXPECT_TRUE(loaded == kOld || loaded == kNew) << "step " << step;
    // Only a failed rename leaves the old URLs in force on disk.
    EXPECT_EQ(loaded == kNew, step == 2 || step == 3) << "step " << step;
  }
}

}  // namespace
}  // namespace vantorel
