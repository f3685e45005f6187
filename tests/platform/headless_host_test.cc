#include "platform/headless_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vantorel {
namespace {

TEST(HeadlessHostTest, PostedTasksRunOnTheOwningThreadInOrder) {
  HeadlessHost host;
  std::vector<int> order;
  const auto owner = std::this_thread::get_id();
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i) {
      host.PostToWindow([&, i] {
        EXPECT_EQ(std::this_thread::get_id(), owner);
        order.push_back(i);
      });
    }
  });
  host.RunUntil([&] { return order.size() == 100; }, std::chrono::seconds(10));
  poster.join();
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
}

TEST(HeadlessHostTest, RunUntilSeesAFlagSetWithoutAPost) {
  HeadlessHost host;
  std::atomic<bool> flag{false};
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    flag = true;
  });
  const auto start = std::chrono::steady_clock::now();
  host.RunUntil([&] { return flag.load(); }, std::chrono::seconds(10));
  setter.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(HeadlessHostTest, CountsRepaintsAndRecordsErrorBoxes) {
  HeadlessHost host;
  ScopedHost scoped(&host);
  ASSERT_EQ(GetHost(), &host);
  GetHost()->RequestRepaint();
  GetHost()->RequestRepaint();
  GetHost()->ShowErrorBox("waveInOpen", "no device");
  EXPECT_EQ(host.RepaintRequests(), 2);
  EXPECT_EQ(host.ErrorBoxCaptions(), std::vector<std::string>{"waveInOpen"});
  EXPECT_EQ(host.ErrorBoxTexts(), std::vector<std::string>{"no device"});
}

}  // namespace
}  // namespace vantorel
