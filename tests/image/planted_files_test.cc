// Files planted where the program writes or reads: links, pipes, devices and directories
// at the settings' names and at a still's output path. Nothing they point at is written
// through or removed, nothing blocks, and a failure leaves only what was there before.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <set>
#include <thread>

#include "files/bmp_file.h"
#include "settings/camera_settings.h"
#include "test_support.h"

namespace vantorel {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::WriteBytes;

const CameraUrls kUrls{"http://127.0.0.1:1/img", "http://127.0.0.1:1/rx", "http://127.0.0.1:1/tx"};
const std::string kUrlsText = "http://127.0.0.1:1/img\nhttp://127.0.0.1:1/rx\nhttp://127.0.0.1:1/tx\n";
const std::string kPrecious = "precious\n";

// A small still with known pixels, written as a .bmp file.
const std::vector<uint32_t> kStill(4 * 3, 0xff5a5a5a);
bool WriteStill(const std::string& path, std::string& failure) { return WriteBmpFile(path, 4, 3, kStill, failure); }

mode_t Mode(const std::string& path) {
  struct stat st{};
  return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// A character device like the one at (major, minor); false where nodes cannot be made.
bool MakeDevice(const std::string& path, unsigned minor) {
  return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, minor)) == 0;
}

struct Place {
  std::string dir, precious, parameter, fresh, backup, bmp;
};

struct Case {
  const char* what;
  // Plants the file; false when this system cannot make it (the case is skipped).
  std::function<bool(const Place&)> plant;
  // Does the work and checks what must hold afterwards.
  std::function<void(const Place&, CameraSettings&, const std::string& bmp_bytes)> check;
  std::set<std::string> names_after;  // the directory's entries afterwards
};

TEST(PlantedFilesTest, NothingIsWrittenThroughRemovedOrWaitedFor) {
  umask(022);
  const std::string bytes = BmpFileBytes(4, 3, kStill);
  const std::set<std::string> settings_names = {"precious", "VANTOREL.PRA", "VANTOREL.P$$"};

  const auto save = [](const Place& p, CameraSettings& s, const std::string&) {
    s.SetCameraUrls(kUrls);
    s.SaveParameters();
    EXPECT_EQ(ReadBytes(p.parameter), kUrlsText);
    EXPECT_EQ(ReadBytes(p.precious), kPrecious);
    EXPECT_EQ(Mode(p.precious) & 0777, 0644u);
  };
  const auto load_refuses = [](const Place& p, CameraSettings& s, const std::string&) {
    auto load = std::async(std::launch::async, [&s] { return s.LoadParameters(); });
    if (load.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      ADD_FAILURE() << "the load waits";
      close(open(p.parameter.c_str(), O_WRONLY | O_NONBLOCK));  // lets a blocked reader go
    }
    EXPECT_FALSE(load.get());
    EXPECT_EQ(s.GetCameraUrls(), DefaultCameraUrls());
  };

  const Case cases[] = {
      {"hard link at VANTOREL._PR",
       [](const Place& p) { return link(p.precious.c_str(), p.fresh.c_str()) == 0; }, save,
       {"precious", "VANTOREL.PRA"}},
      {"symlink at VANTOREL._PR",
       [](const Place& p) { return symlink(p.precious.c_str(), p.fresh.c_str()) == 0; }, save,
       {"precious", "VANTOREL.PRA"}},
      {"pipe at VANTOREL._PR", [](const Place& p) { return mkfifo(p.fresh.c_str(), 0600) == 0; }, save,
       {"precious", "VANTOREL.PRA"}},
      {"hard link at VANTOREL.PRA",
       [](const Place& p) { return link(p.precious.c_str(), p.parameter.c_str()) == 0; },
       [&](const Place& p, CameraSettings& s, const std::string& b) {
         save(p, s, b);
         EXPECT_EQ(ReadBytes(p.backup), kPrecious);  // a private copy, not the linked file
         EXPECT_EQ(Mode(p.backup) & 0777, 0600u);
       },
       settings_names},
      {"pipe at VANTOREL.PRA", [](const Place& p) { return mkfifo(p.parameter.c_str(), 0600) == 0; },
       load_refuses, {"precious", "VANTOREL.PRA"}},
      {"endless device at VANTOREL.PRA", [](const Place& p) { return MakeDevice(p.parameter, 5); },
       load_refuses, {"precious", "VANTOREL.PRA"}},
      {"directory at VANTOREL.PRA", [](const Place& p) { return mkdir(p.parameter.c_str(), 0700) == 0; },
       load_refuses, {"precious", "VANTOREL.PRA"}},

      {"nothing at the still's path", [](const Place&) { return true; },
       [](const Place& p, CameraSettings&, const std::string& b) {
         std::string failure;
         ASSERT_TRUE(WriteStill(p.bmp, failure)) << failure;
         EXPECT_EQ(ReadBytes(p.bmp), b);
         EXPECT_EQ(Mode(p.bmp) & 0777, 0644u);
       },
       {"precious", "out.bmp"}},
      {"file with its own mode at the still's path",
       [](const Place& p) {
         WriteBytes(p.bmp, "old");
         return chmod(p.bmp.c_str(), 0640) == 0;
       },
       [](const Place& p, CameraSettings&, const std::string& b) {
         std::string failure;
         ASSERT_TRUE(WriteStill(p.bmp, failure)) << failure;
         EXPECT_EQ(ReadBytes(p.bmp), b);
         EXPECT_EQ(Mode(p.bmp) & 0777, 0640u);
       },
       {"precious", "out.bmp"}},
      {"hard link at the still's path",
       [](const Place& p) { return link(p.precious.c_str(), p.bmp.c_str()) == 0; },
       [](const Place& p, CameraSettings&, const std::string& b) {
         std::string failure;
         ASSERT_TRUE(WriteStill(p.bmp, failure)) << failure;
         EXPECT_EQ(ReadBytes(p.bmp), b);
         EXPECT_EQ(ReadBytes(p.precious), kPrecious);
       },
       {"precious", "out.bmp"}},
      {"symlink at the still's path",
       [](const Place& p) { return symlink("precious", p.bmp.c_str()) == 0; },
       [](const Place& p, CameraSettings&, const std::string& b) {
         std::string failure;
         ASSERT_TRUE(WriteStill(p.bmp, failure)) << failure;
         EXPECT_TRUE(S_ISLNK(Mode(p.bmp)));  // the link stays; the file it names is the output
         EXPECT_EQ(ReadBytes(p.precious), b);
       },
       {"precious", "out.bmp"}},
      {"symlink to nothing at the still's path",
       [](const Place& p) { return symlink("elsewhere", p.bmp.c_str()) == 0; },
       [](const Place& p, CameraSettings&, const std::string&) {
         std::string failure;
         EXPECT_FALSE(WriteStill(p.bmp, failure));  // not written through
         EXPECT_NE(failure.find("out.bmp"), std::string::npos) << failure;
         EXPECT_TRUE(S_ISLNK(Mode(p.bmp)));
       },
       {"precious", "out.bmp"}},
      {"pipe with a reader at the still's path",
       [](const Place& p) { return mkfifo(p.bmp.c_str(), 0600) == 0; },
       [](const Place& p, CameraSettings&, const std::string& b) {
         auto reader = std::async(std::launch::async, [&p] { return ReadBytes(p.bmp); });
         std::string failure;
         EXPECT_TRUE(WriteStill(p.bmp, failure)) << failure;
         EXPECT_EQ(reader.get(), b);
         EXPECT_TRUE(S_ISFIFO(Mode(p.bmp)));
       },
       {"precious", "out.bmp"}},
      {"device that refuses the bytes at the still's path", [](const Place& p) { return MakeDevice(p.bmp, 7); },
       [](const Place& p, CameraSettings&, const std::string&) {
         std::string failure;
         EXPECT_FALSE(WriteStill(p.bmp, failure));
         EXPECT_NE(failure.find("out.bmp"), std::string::npos) << failure;
         EXPECT_TRUE(S_ISCHR(Mode(p.bmp)));  // never removed
       },
       {"precious", "out.bmp"}},
      {"directory at the still's path", [](const Place& p) { return mkdir(p.bmp.c_str(), 0700) == 0; },
       [](const Place& p, CameraSettings&, const std::string&) {
         std::string failure;
         EXPECT_FALSE(WriteStill(p.bmp, failure));
         EXPECT_TRUE(S_ISDIR(Mode(p.bmp)));
       },
       {"precious", "out.bmp"}},
      {"file at the still's path, and the disk fills while writing",
       [](const Place& p) {
         WriteBytes(p.bmp, "old");
         return true;
       },
       [](const Place& p, CameraSettings&, const std::string&) {
         // A file size limit below the still's size makes the write fail part way.
         struct rlimit old{};
         getrlimit(RLIMIT_FSIZE, &old);
         struct rlimit small = old;
         small.rlim_cur = 20;
         const auto old_handler = signal(SIGXFSZ, SIG_IGN);
         setrlimit(RLIMIT_FSIZE, &small);
         std::string failure;
         const bool ok = WriteStill(p.bmp, failure);
         setrlimit(RLIMIT_FSIZE, &old);
         signal(SIGXFSZ, old_handler);
         EXPECT_FALSE(ok);
         EXPECT_EQ(ReadBytes(p.bmp), "old");
       },
       {"precious", "out.bmp"}},
  };

  for (const Case& c : cases) {
    test::ScratchDir scratch;
    const std::string d = scratch.path().string();
    const Place place{d, d + "/precious", d + "/VANTOREL.PRA", d + "/VANTOREL._PR", d + "/VANTOREL.P$$",
                      d + "/out.bmp"};
    WriteBytes(place.precious, kPrecious);
    chmod(place.precious.c_str(), 0644);
    if (!c.plant(place)) {
      std::printf("skipped (cannot plant here): %s\n", c.what);
      continue;
    }
    CameraSettings settings;
    settings.ComposeParameterPaths(d);
    SCOPED_TRACE(c.what);
    c.check(place, settings, bytes);
    EXPECT_EQ(Names(scratch.path()), c.names_after);
  }
}

}  // namespace
}  // namespace vantorel
