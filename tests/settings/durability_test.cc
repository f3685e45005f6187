// Saving survives being killed at any moment: after each SIGKILL a loadable parameter file
// holds either the old or the new three URLs, whole.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "settings/camera_settings.h"

namespace vantorel {
namespace {

CameraUrls Generation(int n) {
  const std::string tag = std::to_string(n) + std::string(static_cast<size_t>(200 + n % 300), 'p');
  return {"http://127.0.0.1:1/image-" + tag, "http://127.0.0.1:1/rx-" + tag, "http://127.0.0.1:1/tx-" + tag};
}

TEST(SettingsDurabilityTest, KilledSavesLeaveOldOrNewUrlsWhole) {
  char tmpl[] = "/tmp/vantorel-durable-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  CameraSettings settings;
  settings.ComposeParameterPaths(dir);
  settings.SetCameraUrls(Generation(0));
  settings.SaveParameters();

  std::mt19937 rng(12345);
  constexpr int kKills = 500;
  int generation = 0;
  for (int kill_no = 0; kill_no < kKills; ++kill_no) {
    const int base = generation;
    int first_saved[2];
    ASSERT_EQ(pipe(first_saved), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Saves generation base+1, base+2, ... until killed; says when the first is done.
      close(first_saved[0]);
      for (int g = base + 1;; ++g) {
        settings.SetCameraUrls(Generation(g));
        settings.SaveParameters();
        if (g == base + 1) {
          [[maybe_unused]] const ssize_t n = write(first_saved[1], "s", 1);
          close(first_saved[1]);
        }
      }
    }
    close(first_saved[1]);
    char byte = 0;
    ASSERT_EQ(read(first_saved[0], &byte, 1), 1);  // the child is in its saving loop
    close(first_saved[0]);
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);

    settings.ResetCameraUrls();
    ASSERT_TRUE(settings.LoadParameters()) << "kill " << kill_no;
    const CameraUrls loaded = settings.GetCameraUrls();
    // The generation number is in every URL; all three must agree and be complete.
    const std::string image_tag = loaded.image.substr(loaded.image.find('-') + 1);
    const int g = std::stoi(image_tag);
    ASSERT_EQ(loaded, Generation(g)) << "kill " << kill_no;
    ASSERT_GT(g, base) << "kill " << kill_no;  // at least the first save is in place
    generation = g;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vantorel
