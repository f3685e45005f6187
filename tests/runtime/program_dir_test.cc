#include "runtime/program_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace vantorel {
namespace {

ProgramDirInputs Inputs(bool exe_dir_writable) {
  ProgramDirInputs in;
  in.executable_path = "/opt/Program Files/Cam/vantorel";
  in.home = "/home/ann";
  in.is_writable_dir = [exe_dir_writable](const std::string&) { return exe_dir_writable; };
  in.make_private_dir = [](const std::string&) { return true; };
  return in;
}

TEST(ProgramDirTest, ExecutableDirectoryWithoutTrailingSeparator) {
  std::string out;
  ASSERT_TRUE(ResolveProgramDirectory(Inputs(true), out));
  EXPECT_EQ(out, "/opt/Program Files/Cam");
  EXPECT_EQ(DirectoryOf("/vantorel"), "");
  EXPECT_EQ(DirectoryOf("vantorel"), "");
}

TEST(ProgramDirTest, VantorelHomeWins) {
  auto in = Inputs(true);
  in.vantorel_home = "/tmp/portable/";
  std::string out;
  ASSERT_TRUE(ResolveProgramDirectory(in, out));
  EXPECT_EQ(out, "/tmp/portable");
}

TEST(ProgramDirTest, UnwritableExecutableDirectoryFallsBackToConfigDirectory) {
  auto in = Inputs(false);
  std::string made;
  in.make_private_dir = [&made](const std::string& d) {
    made = d;
    return true;
  };
  std::string out;
  ASSERT_TRUE(ResolveProgramDirectory(in, out));
  EXPECT_EQ(out, "/home/ann/.config/vantorel");
  EXPECT_EQ(made, out);

  in.xdg_config_home = "/xdg";
  ASSERT_TRUE(ResolveProgramDirectory(in, out));
  EXPECT_EQ(out, "/xdg/vantorel");

  in.make_private_dir = [](const std::string&) { return false; };
  EXPECT_FALSE(ResolveProgramDirectory(in, out));
}

TEST(ProgramDirTest, InstalledProgramNeverWritesBesideItselfEvenAsRoot) {
  // Root can write to /usr/bin: the directory being writable must not make it the
  // program directory. A copy in a build or portable folder keeps its own directory.
  const struct {
    const char* executable;
    const char* expected;
  } cases[] = {
      {"/usr/bin/vantorel", "/xdg/vantorel"},
      {"/usr/local/bin/vantorel", "/xdg/vantorel"},
      {"/bin/vantorel", "/xdg/vantorel"},
      {"/usr/bin/extra/vantorel", "/usr/bin/extra"},
      {"/usr/binaries/vantorel", "/usr/binaries"},
      {"/home/ann/build/src/app/vantorel", "/home/ann/build/src/app"},
  };
  for (const auto& c : cases) {
    auto in = Inputs(true);
    in.executable_path = c.executable;
    in.xdg_config_home = "/xdg";
    std::string out;
    ASSERT_TRUE(ResolveProgramDirectory(in, out)) << c.executable;
    EXPECT_EQ(out, c.expected) << c.executable;
  }
}

TEST(ProgramDirTest, FallbackDirectoryIsCreatedPrivate) {
  char tmpl[] = "/tmp/vantorel-xdg-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = std::string(tmpl) + "/deeper/config/vantorel";
  ASSERT_TRUE(MakePrivateDirectory(dir));
  ASSERT_TRUE(MakePrivateDirectory(dir));  // already there is fine
  struct stat st{};
  ASSERT_EQ(stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // A file in the way is not a directory.
  const std::string file = std::string(tmpl) + "/file";
  std::FILE* f = std::fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_FALSE(MakePrivateDirectory(file));
  std::filesystem::remove_all(tmpl);
}

TEST(ProgramDirTest, GetProgramDirectoryHonoursVantorelHome) {
  ::setenv("VANTOREL_HOME", "/tmp/somewhere", 1);
  std::string out;
  ASSERT_TRUE(GetProgramDirectory(out));
  EXPECT_EQ(out, "/tmp/somewhere");
  ::unsetenv("VANTOREL_HOME");
  ASSERT_TRUE(GetProgramDirectory(out));
  EXPECT_FALSE(out.empty());
  EXPECT_NE(out.back(), '/');
}

// A settings folder that someone else can change is refused with a way to fix it, never
// used: a symbolic link, another user's folder, one that others may write, a file.
TEST(ProgramDirTest, ASettingsFolderOthersCanChangeIsRefused) {
  char tmpl[] = "/tmp/vantorel-xdg-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string base = tmpl;
  const std::string own = base + "/own", open = base + "/open", link = base + "/link", file = base + "/file";
  ASSERT_TRUE(MakePrivateDirectory(own));
  ASSERT_TRUE(MakePrivateDirectory(open));
  ASSERT_EQ(chmod(open.c_str(), 0777), 0);
  ASSERT_EQ(symlink(own.c_str(), link.c_str()), 0);
  std::fclose(std::fopen(file.c_str(), "w"));
  EXPECT_EQ(PrivateDirectoryProblem(own), "");
  EXPECT_NE(PrivateDirectoryProblem(open).find("chmod 700"), std::string::npos);
  EXPECT_NE(PrivateDirectoryProblem(link).find("symbolic link"), std::string::npos);
  EXPECT_NE(PrivateDirectoryProblem(file).find("not a folder"), std::string::npos);
  if (getuid() == 0) {  // only root can give a folder away
    const std::string foreign = base + "/foreign";
    ASSERT_TRUE(MakePrivateDirectory(foreign));
    ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
    EXPECT_NE(PrivateDirectoryProblem(foreign).find("another user"), std::string::npos);
  }
  // The per-user folder is checked; the refusal reaches the caller.
  auto in = Inputs(false);
  in.xdg_config_home = tmpl;
  in.private_dir_problem = [&](const std::string&) { return PrivateDirectoryProblem(open); };
  std::string out, refusal;
  EXPECT_FALSE(ResolveProgramDirectory(in, out, &refusal));
  EXPECT_FALSE(refusal.empty());
  std::filesystem::remove_all(tmpl);
}

}  // namespace
}  // namespace vantorel
