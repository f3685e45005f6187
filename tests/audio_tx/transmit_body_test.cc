// The talk's body as the worker writes it, recorded piece by piece by a sink that stands
// in for the HTTP request.

#include "audio_tx/transmit_body.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "transmit_test_support.h"

namespace vantorel {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// Records every call; each piece with the ring's produced count when it was written.
class RecordingSink : public TransmitSink {
 public:
  struct Piece {
    std::string bytes;
    int produced;
  };

  explicit RecordingSink(const CaptureRing& ring, bool results = true) : ring_(ring), results_(results) {}

  bool Send() override {
    if (on_send) on_send();
    Note("send");
    return results_;
  }
  bool Write(const uint8_t* data, size_t size) override {
    room_ -= static_cast<int64_t>(size);
    const int produced = ring_.Status().produced;
    {
      std::lock_guard lock(mutex_);
      pieces_.push_back({std::string(reinterpret_cast<const char*>(data), size), produced});
    }
    Note("write");
    return results_;
  }
  void End() override { Note("end"); }

  void WaitForPieces(size_t n) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, seconds(30), [&] { return pieces_.size() >= n; });
  }
  size_t PieceCount() {
    std::lock_guard lock(mutex_);
    return pieces_.size();
  }
  // Written only by the worker; read after it has been joined.
  const std::vector<Piece>& pieces() const { return pieces_; }
  const std::vector<std::string>& calls() const { return calls_; }
  std::function<void()> on_send;  // runs in Send(), on the worker's thread
  // A request that takes this many bytes, then must be renewed (0: no limit).
  int64_t room_per_request = 0;
  int64_t Room() const override { return room_per_request > 0 ? room_ : INT64_MAX; }
  bool Renew() override {
    Note("renew");
    room_ = room_per_request;
    return true;
  }

  // The body after the opening: one piece per part.
  std::vector<std::string> Parts() const {
    std::vector<std::string> parts;
    for (size_t i = 1; i < pieces_.size(); ++i) parts.push_back(pieces_[i].bytes);
    return parts;
  }

 private:
  void Note(const char* call) {
    {
      std::lock_guard lock(mutex_);
      calls_.push_back(call);
    }
    changed_.notify_all();
  }

  const CaptureRing& ring_;
  const bool results_;
  int64_t room_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Piece> pieces_;
  std::vector<std::string> calls_;
};

class TransmitBodyTest : public testing::Test {
 protected:
  void TearDown() override {
    ring_.SetTransmitStop();
    if (worker_.joinable()) worker_.join();
  }

  void StartWorker(RecordingSink& sink, TransmitBodyOptions options = {}) {
    worker_ = std::thread([&, options] {
      result_ = SendTransmitBody(ring_, sink, options);
      returned_ = true;
    });
  }
  void StopWorker() {
    ring_.SetTransmitStop();
    worker_.join();
  }
  void StoreBuffer(const Samples& samples) { ring_.Store(samples); }
  void StorePaced(const std::vector<Samples>& buffers) { vantorel::StorePaced(ring_, buffers); }
  CaptureStatus WaitForCapture(const std::function<bool(const CaptureStatus&)>& ready, milliseconds limit) {
    return ring_.WaitFor(ready, limit);
  }
  CaptureStatus GetCaptureStatus() const { return ring_.Status(); }

  CaptureRing ring_;

  std::thread worker_;
  std::atomic<bool> result_{false};
  std::atomic<bool> returned_{false};
};

TEST_F(TransmitBodyTest, AStopBeforeTheFirstBufferSendsOnlyTheOpeningPieces) {
  RecordingSink sink(ring_, false);  // even a failed send writes the opening pieces
  StartWorker(sink);
  sink.WaitForPieces(1);
  StopWorker();
  EXPECT_FALSE(result_);
  EXPECT_EQ(sink.calls(), (std::vector<std::string>{"send", "write", "end"}));
  ASSERT_EQ(sink.pieces().size(), 1u);
  EXPECT_EQ(sink.pieces()[0].bytes,
            "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=myboundary\r\n\r\n--myboundary\r\n");
  EXPECT_EQ(GetCaptureStatus().consumed, 0);
}

TEST_F(TransmitBodyTest, TheFirstPartWaitsForFourBuffers) {
  const std::vector<Samples> buffers = {TestBuffer(0), TestBuffer(1), TestBuffer(2), TestBuffer(3)};
  for (int i = 0; i < 3; ++i) StoreBuffer(buffers[static_cast<size_t>(i)]);
  RecordingSink sink(ring_);
  StartWorker(sink);
  sink.WaitForPieces(1);
  // Three buffers wait; a part now would be written at once, well within this pause.
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(sink.PieceCount(), 1u);
  EXPECT_EQ(GetCaptureStatus().consumed, 0);

  StoreBuffer(buffers[3]);
  WaitForCapture([](const CaptureStatus& s) { return s.consumed == 4; }, seconds(30));
  StopWorker();
  EXPECT_TRUE(result_);
  EXPECT_EQ(sink.Parts(), ExpectedParts(buffers));
  EXPECT_EQ(sink.pieces()[1].produced, 4);
  EXPECT_EQ(sink.calls().back(), "end");
}

TEST_F(TransmitBodyTest, AStopWithFewerThanFourBuffersSendsNoPart) {
  RecordingSink sink(ring_);
  StartWorker(sink);
  sink.WaitForPieces(1);
  for (int i = 0; i < 3; ++i) StoreBuffer(TestBuffer(i));
  std::this_thread::sleep_for(milliseconds(50));
  StopWorker();
  EXPECT_EQ(sink.pieces().size(), 1u);
  EXPECT_EQ(GetCaptureStatus().consumed, 0);
}

// A talk that comes back: what was captured while it reconnected (before the camera took the
// new request) is dropped once the request is taken, never sent late in a burst.
TEST_F(TransmitBodyTest, AReconnectedTalkDropsWhatWaitedWhileItConnected) {
  for (int i = 0; i < 10; ++i) StoreBuffer(TestBuffer(i));
  RecordingSink sink(ring_);
  sink.on_send = [&] {
    for (int i = 10; i < 15; ++i) StoreBuffer(TestBuffer(i));  // captured while connecting
  };
  StartWorker(sink, {.end_on_failure = true, .discard_waiting_when_sent = true});
  sink.WaitForPieces(1);
  const std::vector<Samples> fresh = {TestBuffer(15), TestBuffer(16), TestBuffer(17), TestBuffer(18)};
  StorePaced(fresh);
  WaitForCapture([](const CaptureStatus& s) { return s.consumed == 19; }, seconds(30));
  StopWorker();
  EXPECT_EQ(sink.Parts(), ExpectedParts(fresh));
}

// A talk that outgrows its request's announced length goes on in the next request: each
// begins with the opening and a fresh coder, and every buffer goes out once, in order.
TEST_F(TransmitBodyTest, ATalkLongerThanItsRequestGoesOnInTheNextWithoutLossOrRepeat) {
  std::vector<Samples> buffers;
  for (int n = 0; n < 10; ++n) buffers.push_back(TestBuffer(n));
  RecordingSink sink(ring_);
  const int64_t opening = static_cast<int64_t>(OpeningPieces().size());
  sink.room_per_request = opening + 4 * static_cast<int64_t>(kTransmitPartBytes);  // four parts each
  sink.Renew();  // the first request's room
  StartWorker(sink);
  StorePaced(buffers);
  WaitForCapture([](const CaptureStatus& s) { return s.consumed == 10; }, seconds(30));
  StopWorker();
  std::vector<std::string> expected;
  for (size_t at = 0; at < buffers.size(); at += 4) {
    expected.push_back(OpeningPieces());
    const auto parts = ExpectedParts({buffers.begin() + static_cast<std::ptrdiff_t>(at),
                                      buffers.begin() + static_cast<std::ptrdiff_t>(std::min(at + 4, buffers.size()))});
    expected.insert(expected.end(), parts.begin(), parts.end());
  }
  std::vector<std::string> written;
  for (const auto& piece : sink.pieces()) written.push_back(piece.bytes);
  EXPECT_EQ(written, expected);
  EXPECT_EQ(std::count(sink.calls().begin(), sink.calls().end(), "renew"), 3);  // one before, two while
}

// Each buffer becomes one part, in capture order; after slot 63 the worker reads slot 0
// again, and the coder's state carries on from part to part. The first buffer holds the
// samples 0 to 381, whose fitted block doubles every 21st sample and drops the last.
TEST_F(TransmitBodyTest, PartsFollowTheCaptureOrderAcrossTheRingsWrap) {
  std::vector<Samples> buffers;
  Samples ramp(kCaptureBufferSamples);
  for (int i = 0; i < kCaptureBufferSamples; ++i) ramp[static_cast<size_t>(i)] = static_cast<int16_t>(i);
  buffers.push_back(ramp);
  for (int n = 1; n < 70; ++n) buffers.push_back(TestBuffer(n));

  RecordingSink sink(ring_);
  StartWorker(sink);
  StorePaced(buffers);
  WaitForCapture([](const CaptureStatus& s) { return s.consumed == 70; }, seconds(30));
  StopWorker();

  const auto parts = sink.Parts();
  ASSERT_EQ(parts.size(), 70u);
  ASSERT_EQ(sink.pieces().size(), 1u + 70u);  // one write per part
  // Buffer 64 (the 65th) went into slot 0 again: only a read slot that wraps after 63
  // finds it there.
  EXPECT_EQ(parts, ExpectedParts(buffers));

  // The fitted ramp, spelt out: 0, 0, 1, 2, ... 20, 21, 21, 22, ... 378, 378, 379, 380.
  Samples fitted;
  for (int v = 0; v <= 380; ++v) {
    fitted.push_back(static_cast<int16_t>(v));
    if (v % 21 == 0) fitted.push_back(static_cast<int16_t>(v));
  }
  ASSERT_EQ(fitted.size(), 400u);
  G726State encoder;
  G726InitState(encoder);
  uint8_t codes[200];
  G726EncodeBlock(codes, fitted.data(), fitted.size(), encoder);
  EXPECT_EQ(parts[0].substr(32, 200), std::string(reinterpret_cast<char*>(codes), 200));
}

// A camera that is gone fails every write; the worker neither stops nor skips anything.
TEST_F(TransmitBodyTest, FailingWritesChangeNothingUntilTheStop) {
  std::vector<Samples> buffers;
  for (int n = 0; n < 12; ++n) buffers.push_back(TestBuffer(n));
  RecordingSink sink(ring_, false);
  StartWorker(sink);
  StorePaced({buffers.begin(), buffers.begin() + 10});
  WaitForCapture([](const CaptureStatus& s) { return s.consumed == 10; }, seconds(30));
  EXPECT_FALSE(returned_);
  EXPECT_EQ(GetCaptureStatus().state, TransmitState::kCapturing);
  StorePaced({buffers.begin() + 10, buffers.end()});
  WaitForCapture([](const CaptureStatus& s) { return s.consumed == 12; }, seconds(30));
  EXPECT_FALSE(returned_);
  StopWorker();
  EXPECT_FALSE(result_);
  EXPECT_EQ(sink.Parts(), ExpectedParts(buffers));
}

}  // namespace
}  // namespace vantorel
