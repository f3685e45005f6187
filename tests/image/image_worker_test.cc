// The picture worker as the station runs it, against the simulated camera and its faults.

#include "image/image_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <thread>

#include "camsim/server.h"
#include "image/current_image.h"
#include "settings/camera_urls.h"
#include "station/station.h"
#include "support/wait_for.h"
#include "test_support.h"

namespace vantorel {
namespace {

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

std::string ImageUrlOf(const camsim::Server& server) { return server.Url() + kImagePath; }

// Counts repaint requests, and how many workers are inside one at once (each stays a moment).
struct Repaints {
  std::atomic<int> count{0};
  std::atomic<int> inside{0};
  std::atomic<int> most{0};
  std::atomic<int> stay_us{0};

  void Request() {
    ++count;
    const int now = ++inside;
    int seen = most.load();
    while (now > seen && !most.compare_exchange_weak(seen, now)) {
    }
    std::this_thread::sleep_for(std::chrono::microseconds(stay_us.load()));
    --inside;
  }
};

class WorkerTest : public ::testing::Test {
 protected:
  std::unique_ptr<camsim::Server> Camera(camsim::Options options = {}) {
    auto server = std::make_unique<camsim::Server>(std::move(options));
    EXPECT_TRUE(server->Start());
    station_->settings().SetImageUrl(ImageUrlOf(*server));
    return server;
  }
  // Requests the stop and measures how long the worker takes to end.
  milliseconds TimeToStop() {
    const auto start = Clock::now();
    station_->StopPicture();
    EXPECT_TRUE(station_->WaitStopped(StationWorker::kPicture, start + milliseconds(1000)));
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
  }
  CurrentImage& Image() { return station_->image(); }

  Repaints repaints_;
  std::unique_ptr<Station> station_ =
      std::make_unique<Station>(StationObserver{.repaint = [this] { repaints_.Request(); }, .status = {}, .microphone_failed = {}, .door = {}});
};

TEST_F(WorkerTest, PicturesKeepComingAndEachAsksForARepaint) {
  const auto camera = Camera();
  const auto began = Clock::now();
  station_->StartPicture();
  ASSERT_TRUE(WaitFor([&] { return repaints_.count >= 5 && Image().Has(); }));
  std::this_thread::sleep_for(milliseconds(300));
  // A camera answering at once is asked 30 times a second at most.
  const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
  EXPECT_LE(camera->stats().requests, seconds * 30 + 2);
  EXPECT_EQ(station_->Status(StationWorker::kPicture).state, WorkerState::kRunning);
  EXPECT_LT(TimeToStop(), milliseconds(1000));
  EXPECT_EQ(station_->Status(StationWorker::kPicture).state, WorkerState::kIdle);
  EXPECT_GE(camera->stats().requests, 5);
  EXPECT_GE(repaints_.count, camera->stats().requests - 1);

  Image().WithBitmap([](const ImageBitmap* image) {
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 320);
    EXPECT_EQ(image->height, 240);
  });
  // The fetch that the stop cancelled may still reach the camera's handler a moment later
  // (the server queues accepted connections for its threads); after that, nothing more.
  std::this_thread::sleep_for(milliseconds(100));
  const int requests = camera->stats().requests;
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(camera->stats().requests, requests);  // stopped means stopped
}

TEST_F(WorkerTest, EveryFailingFaultKeepsThePreviousPictureAndSaysWhy) {
  {
    const auto good = Camera();
    ImageBitmap next;
    ASSERT_FALSE(RefreshImage(Image(), next, ImageUrlOf(*good)).failed());
  }
  const ImageBitmap before = Image().Copy();
  ASSERT_FALSE(before.empty());
  for (const Fault fault : {Fault::kNotFound, Fault::kServerError, Fault::kEmpty, Fault::kHugeHeader}) {
    const auto camera = Camera(WithFault(fault));
    station_->StartPicture();
    ASSERT_TRUE(WaitFor([&] { return camera->stats().requests >= 2; })) << FaultName(fault);
    const WorkerStatus status = station_->Status(StationWorker::kPicture);
    EXPECT_EQ(status.state, WorkerState::kFailed) << FaultName(fault);
    EXPECT_TRUE(status.failure.failed()) << FaultName(fault);
    EXPECT_LT(TimeToStop(), milliseconds(1000)) << FaultName(fault);
    const ImageBitmap after = Image().Copy();
    EXPECT_EQ(after.width, before.width) << FaultName(fault);
    EXPECT_EQ(after.pixels, before.pixels) << FaultName(fault);
  }
}

TEST_F(WorkerTest, AStallOrADripDoesNotHoldUpAStop) {
  for (const Fault fault : {Fault::kStall, Fault::kDrip, Fault::kSlow}) {
    camsim::Options options;
    options.fault = fault;
    options.drip_gap = milliseconds(20);
    options.slow_delay = milliseconds(5000);
    const auto camera = Camera(options);
    station_->StartPicture();
    ASSERT_TRUE(WaitFor([&] { return camera->stats().requests >= 1; })) << FaultName(fault);
    std::this_thread::sleep_for(milliseconds(200));  // a drip is well under way by now
    EXPECT_LT(TimeToStop(), milliseconds(1000)) << FaultName(fault);
  }
}

TEST_F(WorkerTest, RapidStartsAndStopsFromTwoThreadsNeverRunTwoWorkers) {
  // A stop cancels the request under way while the camera may still be answering it, so
  // the camera's own count could overlap; the workers' repaint requests must not.
  const auto camera = Camera(WithFault(Fault::kSlow, milliseconds(2)));
  repaints_.stay_us = 1000;
  auto churn = [this](unsigned seed) {
    std::mt19937 random(seed);
    for (int i = 0; i < 150; ++i) {
      if (random() % 2) {
        station_->StartPicture();
      } else {
        station_->StopPicture();
      }
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    }
  };
  std::thread a(churn, 1), b(churn, 2);
  a.join();
  b.join();
  station_->StartPicture();
  ASSERT_TRUE(WaitFor([&, from = camera->stats().requests] { return camera->stats().requests >= from + 3; }));
  station_.reset();  // stops and joins every run
  EXPECT_EQ(repaints_.most, 1);
}

TEST_F(WorkerTest, DrawingWhileThePictureIsReplacedSeesWholePictures) {
  const auto camera = Camera();
  station_->StartPicture();
  ASSERT_TRUE(WaitFor([&] { return Image().Has(); }));
  const auto end = Clock::now() + milliseconds(300);
  int draws = 0;
  while (Clock::now() < end) {
    Image().WithBitmap([&](const ImageBitmap* picture) {
      ASSERT_NE(picture, nullptr);
      ASSERT_EQ(picture->pixels.size(), 320u * 240u);
      // Touch every pixel, as a draw would copy them.
      uint32_t all = 0;
      for (uint32_t p : picture->pixels) all |= p;
      draws += (all >> 24) == 0xff;
    });
  }
  station_->StopPicture();
  EXPECT_GT(draws, 0);
  EXPECT_GT(camera->stats().requests, 1);
}

}  // namespace
}  // namespace vantorel
