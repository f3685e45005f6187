// The microphone's handling of the input device, against a device double.

#include "audio_tx/microphone.h"

#include <gtest/gtest.h>

#include "audio_tx/capture_ring.h"
#include "fake_audio_input.h"
#include "platform/headless_host.h"

namespace vantorel {
namespace {

class MicrophoneTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(CaptureRingCreate()); }
  void TearDown() override { CaptureRingDestroy(); }

  // Opens the microphone on a fresh double; keeps the events it was given.
  FakeAudioInput* Open() {
    auto fake = std::make_unique<FakeAudioInput>();
    FakeAudioInput* raw = fake.get();
    const bool opened = OpenMicrophone(handle, [&](const AudioInputEvents& e, std::unique_ptr<AudioInput>& out) {
      events = e;
      out = std::move(fake);
      return AUDIO_OK;
    });
    EXPECT_TRUE(opened);
    return raw;
  }

  static std::vector<std::string> Slice(const std::vector<std::string>& v, size_t from) {
    return {v.begin() + static_cast<std::ptrdiff_t>(from), v.end()};
  }

  HeadlessHost host;
  ScopedHost scoped{&host};
  MicrophoneHandle handle;
  AudioInputEvents events;
};

TEST_F(MicrophoneTest, AFailingOpenShowsOneWaveInOpenBoxAndClosesWhatItReturned) {
  bool opened = OpenMicrophone(handle, [](const AudioInputEvents&, std::unique_ptr<AudioInput>& out) {
    out = std::make_unique<FakeAudioInput>();
    return AUDIO_BAD_DEVICE;
  });
  EXPECT_FALSE(opened);
  EXPECT_FALSE(handle);
  EXPECT_EQ(host.ErrorBoxCaptions(), std::vector<std::string>{"waveInOpen"});
  EXPECT_EQ(host.ErrorBoxTexts(), std::vector<std::string>{AudioErrorText(AUDIO_BAD_DEVICE)});

  // Without a device returned, nothing is closed; each failure shows its own box.
  opened = OpenMicrophone(handle, [](const AudioInputEvents&, std::unique_ptr<AudioInput>&) { return AUDIO_NO_DRIVER; });
  EXPECT_FALSE(opened);
  EXPECT_EQ(host.ErrorBoxCaptions().size(), 2u);
  EXPECT_EQ(host.ErrorBoxTexts().back(), AudioErrorText(AUDIO_NO_DRIVER));
  EXPECT_EQ(host.RunPending(), 0);
}

TEST_F(MicrophoneTest, AFailingOpenMakesNoDeviceCallButTheClose) {
  // A double that outlives the open, to see which calls it got.
  struct Recording : FakeAudioInput {
    explicit Recording(std::vector<std::string>* seen) : out(seen) {}
    ~Recording() override { *out = calls; }
    std::vector<std::string>* out;
  };
  std::vector<std::string> calls;
  OpenMicrophone(handle, [&](const AudioInputEvents&, std::unique_ptr<AudioInput>& out) {
    out = std::make_unique<Recording>(&calls);
    return AUDIO_ERROR;
  });
  EXPECT_EQ(calls, std::vector<std::string>{"Close"});
  EXPECT_EQ(host.ErrorBoxCaptions(), std::vector<std::string>{"waveInOpen"});
}

TEST_F(MicrophoneTest, OpenStartsTheRingAtSlot0AndTheOpenNotificationQueues64Buffers) {
  const AudioBuffer earlier{nullptr, 0, 0, 0, 0, 0};
  StoreCapturedBuffer(&earlier);
  CountConsumedBuffer();
  FakeAudioInput* fake = Open();
  ASSERT_TRUE(handle);
  EXPECT_EQ(GetCaptureStatus().write_slot, 0);
  EXPECT_EQ(GetCaptureStatus().consumed, 0);
  EXPECT_TRUE(host.ErrorBoxCaptions().empty());

  events.on_open(fake);
  ASSERT_EQ(fake->calls.size(), 129u);
  for (int n = 0; n < 64; ++n) {
    EXPECT_EQ(fake->calls[2 * static_cast<size_t>(n)], "Prepare " + std::to_string(n));
    EXPECT_EQ(fake->calls[2 * static_cast<size_t>(n) + 1], "AddBuffer " + std::to_string(n));
    const AudioBuffer* b = fake->queued[static_cast<size_t>(n)];
    EXPECT_EQ(b->length, 764u);
    EXPECT_EQ(b->bytes_recorded, 0u);
    EXPECT_EQ(b->loops, 1u);
    EXPECT_EQ(b->data[0], 0);
  }
  EXPECT_EQ(fake->calls.back(), "Start");
  EXPECT_TRUE(host.ErrorBoxCaptions().empty());
}

TEST_F(MicrophoneTest, AQueueFailurePartWayGivesTheBufferUpAndDoesNotStart) {
  FakeAudioInput* fake = Open();
  fake->FailCall("AddBuffer", 10, AUDIO_INVALID_PARAM);
  EXPECT_EQ(OnOpenMicrophone(fake), AUDIO_INVALID_PARAM);
  EXPECT_EQ(fake->queued.size(), 9u);  // the nine before it stay with the device
  EXPECT_EQ(Slice(fake->calls, 18), (std::vector<std::string>{"Prepare 9", "AddBuffer 9", "Unprepare 9"}));

  // A prepare failure gives the buffer up without unpreparing; through the notification
  // the window shows the result in a box.
  auto other = std::make_unique<FakeAudioInput>();
  other->FailCall("Prepare", 1, AUDIO_NO_MEMORY);
  events.on_open(other.get());
  EXPECT_EQ(other->calls, std::vector<std::string>{"Prepare 0"});
  EXPECT_EQ(host.ErrorBoxCaptions(), std::vector<std::string>{"OnOpenMicrophone"});
  EXPECT_EQ(host.ErrorBoxTexts(), std::vector<std::string>{AudioErrorText(AUDIO_NO_MEMORY)});
}

TEST_F(MicrophoneTest, EachReturnedBufferIsStoredReleasedAndReplaced) {
  FakeAudioInput* fake = Open();
  ASSERT_EQ(OnOpenMicrophone(fake), AUDIO_OK);
  fake->calls.clear();
  for (int i = 0; i < 3; ++i) {
    AudioBuffer* b = fake->Record(764, static_cast<uint8_t>(0x10 + i));
    events.on_data(fake, b);
  }
  EXPECT_EQ(fake->calls, (std::vector<std::string>{"Unprepare 0", "Prepare 0", "AddBuffer 0",  //
                                                   "Unprepare 1", "Prepare 1", "AddBuffer 1",  //
                                                   "Unprepare 2", "Prepare 2", "AddBuffer 2"}));
  EXPECT_EQ(fake->queued.size(), 64u);
  EXPECT_EQ(fake->queued.back()->user, 2u);
  EXPECT_EQ(fake->queued.back()->bytes_recorded, 0u);
  const CaptureStatus s = GetCaptureStatus();
  EXPECT_EQ(s.produced, 3);
  EXPECT_EQ(s.write_slot, 3);
  EXPECT_EQ(s.state, TX_CAPTURING);
  std::vector<uint8_t> slot(kCaptureBufferBytes);
  ASSERT_TRUE(CopyCaptureSlot(2, slot.data()));
  EXPECT_EQ(slot, std::vector<uint8_t>(kCaptureBufferBytes, 0x12));
  EXPECT_TRUE(host.ErrorBoxCaptions().empty());
}

TEST_F(MicrophoneTest, AFailedReleaseIsShownAndAFailedRequeueIsNot) {
  FakeAudioInput* fake = Open();
  ASSERT_EQ(OnOpenMicrophone(fake), AUDIO_OK);
  fake->FailCall("Unprepare", 1, AUDIO_STILL_PLAYING);
  OnDataMicrophone(fake, fake->Record(764, 1));
  // Freed all the same, and the fresh buffer is still queued.
  EXPECT_EQ(fake->queued.size(), 64u);
  EXPECT_EQ(host.ErrorBoxCaptions(), std::vector<std::string>{"OnDataMicrophone"});
  EXPECT_EQ(host.ErrorBoxTexts(), std::vector<std::string>{AudioErrorText(AUDIO_STILL_PLAYING)});

  fake->FailCall("AddBuffer", 66, AUDIO_ERROR);
  OnDataMicrophone(fake, fake->Record(764, 2));
  EXPECT_EQ(fake->queued.size(), 63u);  // one buffer fewer from now on
  EXPECT_EQ(fake->calls.back(), "Unprepare 1");
  EXPECT_EQ(host.ErrorBoxCaptions().size(), 1u);
  EXPECT_EQ(GetCaptureStatus().produced, 2);
}

TEST_F(MicrophoneTest, CloseMicrophoneResetsThenClosesAndKeepsAHandleThatWouldNotClose) {
  MicrophoneHandle none;
  EXPECT_EQ(CloseMicrophone(none), AUDIO_OK);
  EXPECT_FALSE(none);

  FakeAudioInput* fake = Open();
  ASSERT_EQ(OnOpenMicrophone(fake), AUDIO_OK);
  fake->calls.clear();
  fake->FailCall("Close", 1, AUDIO_STILL_PLAYING);
  EXPECT_EQ(CloseMicrophone(handle), AUDIO_STILL_PLAYING);
  ASSERT_TRUE(handle);
  EXPECT_EQ(fake->calls, (std::vector<std::string>{"Reset", "Close"}));
  EXPECT_EQ(CloseMicrophone(handle), AUDIO_OK);
  EXPECT_FALSE(handle);
  EXPECT_TRUE(host.ErrorBoxCaptions().empty());
}

TEST_F(MicrophoneTest, BuffersHandedBackByTheCloseAreFreedNotStoredOrRequeued) {
  FakeAudioInput* fake = Open();
  ASSERT_EQ(OnOpenMicrophone(fake), AUDIO_OK);
  OnDataMicrophone(fake, fake->Record(764, 1));
  fake->FailCall("Close", 1, AUDIO_STILL_PLAYING);
  ASSERT_EQ(CloseMicrophone(handle), AUDIO_STILL_PLAYING);  // still open: the device is live
  auto back = fake->TakeHandedBack();
  ASSERT_EQ(back.size(), 64u);
  back[0]->bytes_recorded = 300;  // partly recorded when the reset came
  fake->calls.clear();
  for (size_t i = 0; i < 32; ++i) OnDataMicrophone(fake, back[i]);
  EXPECT_EQ(fake->calls.size(), 32u);  // only the unprepares
  for (const auto& call : fake->calls) EXPECT_EQ(call.rfind("Unprepare", 0), 0u) << call;

  // The rest arrive after the device closed: no device to call at all.
  ASSERT_EQ(CloseMicrophone(handle), AUDIO_OK);
  for (size_t i = 32; i < 64; ++i) OnDataMicrophone(nullptr, back[i]);
  EXPECT_EQ(GetCaptureStatus().produced, 1);
  EXPECT_TRUE(host.ErrorBoxCaptions().empty());
}

}  // namespace
}  // namespace vantorel
