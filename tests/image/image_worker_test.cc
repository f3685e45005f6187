#include "image/image_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "camsim/server.h"
#include "image/current_image.h"
#include "platform/headless_host.h"
#include "settings/camera_urls.h"
#include "test_support.h"
#include "support/wait_for.h"

namespace vantorel {
namespace {

namespace fs = std::filesystem;
using camsim::Fault;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

using test::WaitFor;

camsim::Options WithFault(Fault fault, milliseconds slow_delay = milliseconds(200)) {
  camsim::Options options;
  options.fault = fault;
  options.slow_delay = slow_delay;
  return options;
}

milliseconds TimeToStop() {
  const auto start = Clock::now();
  EXPECT_EQ(StopImageWorker(), 0);
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override { ReplaceCurrentImage(nullptr); }
  void TearDown() override {
    JoinImageWorker();
    ReplaceCurrentImage(nullptr);
    ResetCameraUrls();
  }
  std::unique_ptr<camsim::Server> Camera(camsim::Options options = {}) {
    auto server = std::make_unique<camsim::Server>(std::move(options));
    EXPECT_TRUE(server->Start());
    SetImageUrl(server->Url() + "/axis-cgi/jpg/image.cgi?resolution=320x240");
    return server;
  }
  bool TempExists() const { return fs::exists(fs::symlink_status(home_.File("temp.jpg"))); }

  test::ScratchDir home_;
  test::ScopedEnv env_{"VANTOREL_HOME", home_.path().string()};
  HeadlessHost host_;
  ScopedHost scoped_host_{&host_};
};

TEST_F(WorkerTest, PicturesKeepComingAndEachAsksForARepaint) {
  const auto camera = Camera();
  EXPECT_FALSE(ImageWorkerRunning());
  StartImageWorker();
  EXPECT_TRUE(ImageWorkerRunning());
  ASSERT_TRUE(WaitFor([&] { return host_.RepaintRequests() >= 5 && HasCurrentImage(); }));
  EXPECT_LT(TimeToStop(), milliseconds(1000));
  EXPECT_FALSE(ImageWorkerRunning());
  EXPECT_GE(camera->stats().requests, 5);
  EXPECT_GE(host_.RepaintRequests(), camera->stats().requests - 1);

  WithCurrentImage([](const ImageBitmap* image) {
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->header.width, 320);
    EXPECT_EQ(image->header.height, 240);
  });
  // The fetch that the stop cancelled may still reach the camera's handler a moment later
  // (the server queues accepted connections for its threads); after that, nothing more.
  std::this_thread::sleep_for(milliseconds(100));
  const int requests = camera->stats().requests;
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(camera->stats().requests, requests);  // stopped means stopped
  EXPECT_FALSE(TempExists());
}

TEST_F(WorkerTest, RefreshImageKeepsThePictureWhenAFetchFails) {
  const auto good = Camera();
  EXPECT_EQ(RefreshImage(), 40 + 960 * 240);
  const ImageBitmapPtr before = CopyCurrentImage();
  ASSERT_TRUE(before);
  const auto bad = Camera(WithFault(Fault::kNotFound));
  EXPECT_EQ(RefreshImage(), -1);
  const ImageBitmapPtr after = CopyCurrentImage();
  ASSERT_TRUE(after);
  EXPECT_EQ(std::memcmp(before.get(), after.get(), before->TotalSize()), 0);
}

TEST_F(WorkerTest, EveryFailingFaultKeepsThePreviousPicture) {
  {
    const auto good = Camera();
    ASSERT_GT(RefreshImage(), 0);
  }
  const ImageBitmapPtr before = CopyCurrentImage();
  for (const Fault fault : {Fault::kNotFound, Fault::kServerError, Fault::kEmpty, Fault::kHugeHeader,
                            Fault::kCloseMidBody}) {
    const auto camera = Camera(WithFault(fault));
    StartImageWorker();
    ASSERT_TRUE(WaitFor([&] { return camera->stats().requests >= 2; })) << FaultName(fault);
    EXPECT_LT(TimeToStop(), milliseconds(1000)) << FaultName(fault);
    const ImageBitmapPtr after = CopyCurrentImage();
    ASSERT_TRUE(after) << FaultName(fault);
    EXPECT_EQ(std::memcmp(before.get(), after.get(), before->TotalSize()), 0) << FaultName(fault);
    EXPECT_FALSE(TempExists()) << FaultName(fault);
  }
}

TEST_F(WorkerTest, AStallOrADripDoesNotHoldUpAStop) {
  for (const Fault fault : {Fault::kStall, Fault::kDrip, Fault::kSlow}) {
    camsim::Options options;
    options.fault = fault;
    options.drip_gap = milliseconds(20);
    options.slow_delay = milliseconds(5000);
    const auto camera = Camera(options);
    StartImageWorker();
    ASSERT_TRUE(WaitFor([&] { return camera->stats().requests >= 1; })) << FaultName(fault);
    std::this_thread::sleep_for(milliseconds(200));  // a drip is writing temp.jpg by now
    EXPECT_LT(TimeToStop(), milliseconds(1000)) << FaultName(fault);
    EXPECT_FALSE(ImageWorkerRunning());
    EXPECT_FALSE(TempExists()) << FaultName(fault);
  }
}

TEST_F(WorkerTest, RepeatedStartsLeaveExactlyOneWorker) {
  const auto camera = Camera(WithFault(Fault::kSlow, milliseconds(3)));
  for (int i = 0; i < 5; ++i) StartImageWorker();
  ASSERT_TRUE(WaitFor([&] { return camera->stats().requests >= 20; }));
  StopImageWorker();  // one stop ends it
  std::this_thread::sleep_for(milliseconds(50));  // the cancelled fetch may still arrive
  const int requests = camera->stats().requests;
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(camera->stats().requests, requests);
  EXPECT_EQ(camera->stats().max_concurrent, 1);
}

// Counts how many workers are inside a repaint request at once; each stays a moment.
class OverlapHost : public HeadlessHost {
 public:
  void RequestRepaint() override {
    const int now = ++inside_;
    int seen = most_.load();
    while (now > seen && !most_.compare_exchange_weak(seen, now)) {
    }
    std::this_thread::sleep_for(milliseconds(1));
    --inside_;
  }
  int Most() const { return most_.load(); }

 private:
  std::atomic<int> inside_{0};
  std::atomic<int> most_{0};
};

TEST_F(WorkerTest, RapidStartsAndStopsFromTwoThreadsNeverRunTwoWorkers) {
  // A stop cancels the request under way while the camera may still be answering it, so
  // the camera's own count could overlap; the workers' repaint requests must not.
  const auto camera = Camera(WithFault(Fault::kSlow, milliseconds(2)));
  OverlapHost overlap;
  SetHost(&overlap);
  auto churn = [](unsigned seed) {
    std::mt19937 random(seed);
    for (int i = 0; i < 150; ++i) {
      if (random() % 2) {
        StartImageWorker();
      } else {
        StopImageWorker();
      }
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    }
  };
  std::thread a(churn, 1), b(churn, 2);
  a.join();
  b.join();
  StartImageWorker();
  ASSERT_TRUE(WaitFor([&, from = camera->stats().requests] { return camera->stats().requests >= from + 3; }));
  StopImageWorker();
  JoinImageWorker();
  SetHost(&host_);
  EXPECT_EQ(overlap.Most(), 1);
  EXPECT_FALSE(ImageWorkerRunning());
}

TEST_F(WorkerTest, DrawingWhileThePictureIsReplacedSeesWholePictures) {
  const auto camera = Camera();
  StartImageWorker();
  ASSERT_TRUE(WaitFor([] { return HasCurrentImage(); }));
  const auto end = Clock::now() + milliseconds(300);
  int draws = 0;
  while (Clock::now() < end) {
    WithCurrentImage([&](const ImageBitmap* image) {
      ASSERT_NE(image, nullptr);
      // Touch every byte, as a draw would copy them.
      unsigned sum = 0;
      const uint8_t* p = image->Pixels();
      for (uint32_t i = 0; i < ImageDataSize(image->header); ++i) sum += p[i];
      EXPECT_EQ(image->TotalSize(), 40u + 960u * 240u);
      draws += sum != 0;
    });
  }
  StopImageWorker();
  EXPECT_GT(draws, 0);
  EXPECT_GT(camera->stats().requests, 1);
}

// A host whose repaint request blocks until released: the worker then cannot end in time.
class BlockingHost : public HeadlessHost {
 public:
  void RequestRepaint() override {
    std::unique_lock lock(mutex_);
    in_call_ = true;
    entered_.notify_all();
    released_.wait(lock, [&] { return release_; });
    in_call_ = false;
  }
  void WaitUntilEntered() {
    std::unique_lock lock(mutex_);
    entered_.wait(lock, [&] { return in_call_; });
  }
  void Release() {
    std::lock_guard lock(mutex_);
    release_ = true;
    released_.notify_all();
  }
  bool InCall() {
    std::lock_guard lock(mutex_);
    return in_call_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable entered_, released_;
  bool in_call_ = false;
  bool release_ = false;
};

TEST_F(WorkerTest, AWorkerThatCannotEndInTimeIsWaitedForBeforeTheNextAndAtShutdown) {
  const auto camera = Camera();
  BlockingHost blocking;
  SetHost(&blocking);
  StartImageWorker();
  blocking.WaitUntilEntered();
  const milliseconds took = TimeToStop();
  EXPECT_GE(took, milliseconds(900));  // it waited its 1000 ms ...
  EXPECT_LT(took, milliseconds(1500));  // ... and no longer
  EXPECT_FALSE(ImageWorkerRunning());
  EXPECT_TRUE(blocking.InCall());

  std::thread releaser([&] {
    std::this_thread::sleep_for(milliseconds(200));
    blocking.Release();
  });
  JoinImageWorker();  // as the program's shutdown does
  EXPECT_FALSE(blocking.InCall());
  releaser.join();
  SetHost(&host_);  // `blocking` may go now: no thread uses it

  // The next start runs one worker again.
  StartImageWorker();
  const int from = camera->stats().requests;
  ASSERT_TRUE(WaitFor([&] { return camera->stats().requests >= from + 2; }));
  StopImageWorker();
  EXPECT_EQ(camera->stats().max_concurrent, 1);
}

TEST_F(WorkerTest, AStartWaitsForAWorkerStillEnding) {
  const auto camera = Camera();
  BlockingHost blocking;
  SetHost(&blocking);
  StartImageWorker();
  blocking.WaitUntilEntered();
  StopImageWorker();  // times out: the worker is still in its last cycle
  std::thread releaser([&] {
    std::this_thread::sleep_for(milliseconds(200));
    blocking.Release();
  });
  StartImageWorker();  // must not run beside the old one
  EXPECT_FALSE(blocking.InCall());
  releaser.join();
  const int from = camera->stats().requests;
  ASSERT_TRUE(WaitFor([&] { return camera->stats().requests >= from + 2; }));
  StopImageWorker();
  JoinImageWorker();
  SetHost(&host_);
  EXPECT_EQ(camera->stats().max_concurrent, 1);
}

}  // namespace
}  // namespace vantorel
