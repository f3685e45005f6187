#include "platform/temp_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace vantorel {
namespace {

namespace fs = std::filesystem;

class TempFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantorel-tempfile-XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(TempFileTest, PrivateWhileAliveAndGoneAfter) {
  const std::string path = dir_ / "temp.jpg";
  {
    std::ofstream(path) << "an older, longer leftover";
    fs::permissions(path, fs::perms(0644));
    TempFile file(path);
    ASSERT_TRUE(file.ok()) << file.error();
    struct stat st{};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 0);  // truncated
    ASSERT_TRUE(file.Write("abc", 3));
    ASSERT_TRUE(file.Rewind());
    char back[4] = {};
    EXPECT_EQ(read(file.fd(), back, 3), 3);
    EXPECT_STREQ(back, "abc");
  }
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(TempFileTest, ASymbolicLinkIsNeitherFollowedNorLeftBehind) {
  const std::string target = dir_ / "precious";
  const std::string path = dir_ / "temp.jpg";
  std::ofstream(target) << "keep me";
  fs::create_symlink(target, path);
  {
    TempFile file(path);
    EXPECT_FALSE(file.ok());
    EXPECT_FALSE(file.error().empty());
  }
  EXPECT_FALSE(fs::is_symlink(fs::symlink_status(path)));
  std::ifstream in(target);
  std::string kept;
  std::getline(in, kept);
  EXPECT_EQ(kept, "keep me");
}

TEST_F(TempFileTest, ADirectoryInTheWayIsRefused) {
  const std::string path = dir_ / "temp.jpg";
  fs::create_directory(path);
  TempFile file(path);
  EXPECT_FALSE(file.ok());
}

}  // namespace
}  // namespace vantorel
