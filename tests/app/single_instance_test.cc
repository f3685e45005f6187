// The single-instance rule in one process: two SingleInstance objects for one program
// directory behave like two starts. Entries that another user (or anything but us) left
// where the lock and socket live never keep the program from starting.

#include "app/single_instance.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>

namespace vantorel {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kOtherUser = 4242;

class SingleInstanceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "single_instance_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
  }
  void SetUp() override {
    char tmpl[] = "/tmp/vantorel-instance-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    in_ = {root_ + "/run", root_ + "/tmp", root_ + "/cache", getuid()};
    for (const auto& d : {in_.runtime_dir, in_.temp_dir, in_.cache_dir}) ASSERT_EQ(mkdir(d.c_str(), 0700), 0);
  }
  void TearDown() override { fs::remove_all(root_); }

  // Two starts: the first becomes the instance, the second is refused and raises it.
  void ExpectOneInstance(const std::string& what) {
    SingleInstance first(QString::fromStdString(program_dir_), in_);
    ASSERT_TRUE(first.Claim()) << what;
    QSignalSpy raised(&first, &SingleInstance::activationRequested);
    SingleInstance second(QString::fromStdString(program_dir_), in_);
    EXPECT_FALSE(second.Claim()) << what;
    EXPECT_TRUE(QTest::qWaitFor([&] { return raised.count() > 0; }, 5000)) << what;
    // Another program directory is another instance.
    SingleInstance elsewhere(QString::fromStdString(program_dir_ + "/other"), in_);
    EXPECT_TRUE(elsewhere.Claim()) << what;
  }

  std::string root_;
  std::string program_dir_ = "/opt/vantorel";
  InstanceDirectoryInputs in_;
};

TEST_F(SingleInstanceTest, PlantedEntriesAreIgnored) {
  const std::string key = InstanceKey(program_dir_);
  const std::string tmp_dir = "vantorel-" + std::to_string(getuid());
  const struct {
    const char* what;
    std::function<void(const InstanceDirectoryInputs&)> plant;
    std::string expected_dir;  // relative to root_
  } cases[] = {
      {"nothing planted", [](const auto&) {}, "/run/vantorel"},
      {"runtime directory of another user",
       [](const auto& in) { ASSERT_EQ(chown(in.runtime_dir.c_str(), kOtherUser, kOtherUser), 0); },
       "/tmp/" + tmp_dir},
      {"runtime directory writable by all",
       [](const auto& in) { ASSERT_EQ(chmod(in.runtime_dir.c_str(), 0777), 0); }, "/tmp/" + tmp_dir},
      {"our name in /tmp taken by another user's directory",
       [&](const auto& in) {
         const std::string d = in.temp_dir + "/" + tmp_dir;
         ASSERT_EQ(mkdir(d.c_str(), 0700), 0);
         ASSERT_EQ(chown(d.c_str(), kOtherUser, kOtherUser), 0);
         ASSERT_EQ(chmod(in.runtime_dir.c_str(), 0777), 0);
       },
       "/cache/vantorel"},
      {"our name in /tmp is a file",
       [&](const auto& in) {
         std::ofstream(in.temp_dir + "/" + tmp_dir) << "x";
         ASSERT_EQ(chmod(in.runtime_dir.c_str(), 0777), 0);
       },
       "/cache/vantorel"},
      {"our name in /tmp is a link to a directory of ours",
       [&](const auto& in) {
         ASSERT_EQ(symlink(in.cache_dir.c_str(), (in.temp_dir + "/" + tmp_dir).c_str()), 0);
         ASSERT_EQ(chmod(in.runtime_dir.c_str(), 0777), 0);
       },
       "/cache/vantorel"},
      {"lock file of another user",
       [&](const auto& in) {
         ASSERT_EQ(mkdir((in.runtime_dir + "/vantorel").c_str(), 0700), 0);
         const std::string lock = in.runtime_dir + "/vantorel/" + key + ".lock";
         std::ofstream(lock) << "";
         ASSERT_EQ(chown(lock.c_str(), kOtherUser, kOtherUser), 0);
       },
       "/run/vantorel"},
      {"lock file a pipe",
       [&](const auto& in) {
         ASSERT_EQ(mkdir((in.runtime_dir + "/vantorel").c_str(), 0700), 0);
         ASSERT_EQ(mkfifo((in.runtime_dir + "/vantorel/" + key + ".lock").c_str(), 0600), 0);
       },
       "/run/vantorel"},
      {"lock file a hard link to a file elsewhere",
       [&](const auto& in) {
         ASSERT_EQ(mkdir((in.runtime_dir + "/vantorel").c_str(), 0700), 0);
         std::ofstream(in.cache_dir + "/precious") << "precious";
         ASSERT_EQ(link((in.cache_dir + "/precious").c_str(), (in.runtime_dir + "/vantorel/" + key + ".lock").c_str()), 0);
       },
       "/run/vantorel"},
      {"stale socket file",
       [&](const auto& in) {
         ASSERT_EQ(mkdir((in.runtime_dir + "/vantorel").c_str(), 0700), 0);
         std::ofstream(in.runtime_dir + "/vantorel/" + key + ".sock") << "";
       },
       "/run/vantorel"},
  };
  for (const auto& c : cases) {
    fs::remove_all(root_);
    ASSERT_EQ(mkdir(root_.c_str(), 0700), 0);
    for (const auto& d : {in_.runtime_dir, in_.temp_dir, in_.cache_dir}) ASSERT_EQ(mkdir(d.c_str(), 0700), 0);
    c.plant(in_);
    EXPECT_EQ(ChooseInstanceDirectory(in_), root_ + c.expected_dir) << c.what;
    ExpectOneInstance(c.what);
    if (fs::exists(in_.cache_dir + "/precious")) {
      std::ifstream f(in_.cache_dir + "/precious");
      std::string text;
      f >> text;
      EXPECT_EQ(text, "precious") << c.what;
    }
  }
}

TEST_F(SingleInstanceTest, TheLockEndsWithItsHolder) {
  {
    SingleInstance first(QString::fromStdString(program_dir_), in_);
    ASSERT_TRUE(first.Claim());
  }
  // The lock file stays behind, as after a crash; it blocks nobody.
  EXPECT_TRUE(fs::exists(in_.runtime_dir + "/vantorel/" + InstanceKey(program_dir_) + ".lock"));
  ExpectOneInstance("after the first ended");
}

TEST_F(SingleInstanceTest, WithoutAnyPrivateDirectoryTheProgramStillRuns) {
  in_ = {"", root_ + "/missing/tmp", "", getuid()};
  EXPECT_EQ(ChooseInstanceDirectory(in_), "");
  SingleInstance first(QString::fromStdString(program_dir_), in_);
  EXPECT_TRUE(first.Claim());
}

}  // namespace
}  // namespace vantorel
