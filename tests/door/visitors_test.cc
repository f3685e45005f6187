// The visitors' folder: which pictures the bound removes (a table), names within one
// second, other files left alone, and where the folder is.

#include "door/visitors.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace vantorel {
namespace {

namespace fs = std::filesystem;

TEST(VisitorsTest, TheBoundRemovesTheOldestFirst) {
  struct Case {
    const char* name;
    std::vector<uint64_t> sizes;  // oldest first
    VisitorBound bound;
    size_t removed;  // how many of the oldest go
  };
  const Case cases[] = {
      {"within both", {10, 20, 30}, {3, 60}, 0},
      {"one over the count", {10, 20, 30, 40}, {3, 1000}, 1},
      {"over the bytes: the newest that fit stay, no older one behind them", {50, 10, 20, 40}, {10, 60}, 2},
      {"exactly at both bounds", {20, 20, 20}, {3, 60}, 0},
      {"nothing kept when the newest alone is over", {10, 70}, {10, 60}, 2},
      {"an empty folder", {}, {3, 60}, 0},
  };
  for (const Case& c : cases) {
    std::vector<VisitorPicture> pictures;
    for (size_t i = 0; i < c.sizes.size(); ++i) {
      pictures.push_back({.name = std::to_string(i), .bytes = c.sizes[i], .stamp = {}, .suffix = 1});
    }
    std::vector<std::string> expected;
    for (size_t i = 0; i < c.removed; ++i) expected.push_back(std::to_string(i));
    EXPECT_EQ(VisitorsOverBound(pictures, c.bound), expected) << c.name;
  }
}

TEST(VisitorsTest, RingsInOneSecondGetSuffixesAndOnlyOurFilesAreCounted) {
  char pattern[] = "/tmp/vantorel-visitors-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = std::string(pattern) + "/visitors";
  ASSERT_TRUE(fs::create_directory(dir));
  std::ofstream(dir + "/notes.txt") << "mine";
  std::ofstream(dir + "/20261209-083005-01.jpg") << "not ours: a suffix with a leading zero";
  const std::vector<uint8_t> jpeg{0xFF, 0xD8, 0xFF, 0xD9};
  std::tm local{};
  local.tm_year = 126;
  local.tm_mon = 11;
  local.tm_mday = 9;
  local.tm_hour = 8;
  local.tm_min = 30;
  local.tm_sec = 5;
  local.tm_isdst = -1;
  const std::time_t when = std::mktime(&local);
  std::vector<std::string> kept;
  for (int i = 0; i < 3; ++i) {
    std::string path, error;
    ASSERT_TRUE(KeepVisitor(dir, jpeg, when, path, error, {.max_count = 2, .max_bytes = 1000})) << error;
    kept.push_back(fs::path(path).filename());
  }
  EXPECT_EQ(kept, (std::vector<std::string>{"20261209-083005.jpg", "20261209-083005-2.jpg", "20261209-083005-3.jpg"}));
  std::vector<std::string> left;
  for (const VisitorPicture& p : ListVisitors(dir)) left.push_back(p.name);
  EXPECT_EQ(left, (std::vector<std::string>{"20261209-083005-2.jpg", "20261209-083005-3.jpg"}));
  EXPECT_TRUE(fs::exists(dir + "/notes.txt"));
  EXPECT_TRUE(fs::exists(dir + "/20261209-083005-01.jpg"));
  struct stat st {};
  ASSERT_EQ(stat((dir + "/" + left.back()).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  fs::remove_all(pattern);
}

TEST(VisitorsTest, TheFolderFollowsTheProgramsDataPlace) {
  EXPECT_EQ(ResolveVisitorsDirectory({"/opt/v", "/data", "/home/ann"}), "/opt/v/visitors");
  EXPECT_EQ(ResolveVisitorsDirectory({"", "/data", "/home/ann"}), "/data/vantorel/visitors");
  EXPECT_EQ(ResolveVisitorsDirectory({nullptr, "relative", "/home/ann"}), "/home/ann/.local/share/vantorel/visitors");
  EXPECT_EQ(ResolveVisitorsDirectory({nullptr, nullptr, nullptr}), "");
}

}  // namespace
}  // namespace vantorel
