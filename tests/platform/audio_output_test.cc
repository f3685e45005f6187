// The SDL output device, through SDL's dummy driver (silence) and disk driver (a raw file).

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

#include "audio_test_env.h"
#include "platform/audio_output.h"

namespace vantorel {
namespace {

using std::chrono::seconds;

// Records what the device reports, from whichever thread it reports on.
class OutputRecorder {
 public:
  struct Event {
    AudioOutputMessage message;
    AudioBuffer* buffer;
    std::thread::id thread;
  };

  AudioOutputCallback Callback() {
    return [this](AudioOutput*, AudioOutputMessage message, AudioBuffer* buffer) {
      std::lock_guard lock(mutex_);
      events_.push_back({message, buffer, std::this_thread::get_id()});
      changed_.notify_all();
    };
  }

  bool WaitForDone(size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, seconds(20), [&] { return DoneLocked() >= count; });
  }

  std::vector<Event> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }

 private:
  size_t DoneLocked() const {
    size_t n = 0;
    for (const auto& e : events_) n += e.message == AUDIO_OUTPUT_DONE;
    return n;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> events_;
};

struct Buffer {
  explicit Buffer(size_t count, int16_t value = 0) : samples(count, value) {
    header = AudioBuffer{reinterpret_cast<uint8_t*>(samples.data()), static_cast<uint32_t>(count * 2), 0, 0, 0, 1};
  }
  std::vector<int16_t> samples;
  AudioBuffer header;
};

TEST(SdlAudioOutputTest, PlaysBuffersInOrderAndReportsEachOnTheDeviceThread) {
  OutputRecorder recorder;
  std::unique_ptr<AudioOutput> device;
  ASSERT_EQ(OpenSdlAudioOutput(recorder.Callback(), device), AUDIO_OK);
  ASSERT_TRUE(device);
  Buffer a(200), b(300), empty(0), c(100);
  for (Buffer* buffer : {&a, &b, &empty, &c}) ASSERT_EQ(device->Write(&buffer->header), AUDIO_OK);
  ASSERT_TRUE(recorder.WaitForDone(4));
  EXPECT_EQ(device->Close(), AUDIO_OK);

  const auto events = recorder.Events();
  ASSERT_EQ(events.size(), 6u);
  EXPECT_EQ(events.front().message, AUDIO_OUTPUT_OPEN);
  EXPECT_EQ(events.back().message, AUDIO_OUTPUT_CLOSE);
  const AudioBuffer* order[] = {&a.header, &b.header, &empty.header, &c.header};
  for (int i = 0; i < 4; ++i) {
    const auto& e = events[static_cast<size_t>(i) + 1];
    EXPECT_EQ(e.message, AUDIO_OUTPUT_DONE);
    EXPECT_EQ(e.buffer, order[i]);
    EXPECT_NE(e.thread, std::this_thread::get_id());
    EXPECT_EQ(e.buffer->flags & (AUDIO_BUFFER_DONE | AUDIO_BUFFER_INQUEUE), AUDIO_BUFFER_DONE);
  }
}

TEST(SdlAudioOutputTest, CloseHandsBackEveryQueuedBufferThroughTheCallback) {
  OutputRecorder recorder;
  std::unique_ptr<AudioOutput> device;
  ASSERT_EQ(OpenSdlAudioOutput(recorder.Callback(), device), AUDIO_OK);
  std::vector<std::unique_ptr<Buffer>> buffers;
  for (int i = 0; i < 5; ++i) {
    buffers.push_back(std::make_unique<Buffer>(8000));  // a second each
    ASSERT_EQ(device->Write(&buffers.back()->header), AUDIO_OK);
  }
  EXPECT_EQ(device->Close(), AUDIO_OK);
  const auto events = recorder.Events();
  ASSERT_EQ(events.size(), 7u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(events[static_cast<size_t>(i) + 1].buffer, &buffers[static_cast<size_t>(i)]->header);
  }
  // The last ones cannot have been played yet: they come back on the closing thread.
  EXPECT_EQ(events[5].thread, std::this_thread::get_id());
  EXPECT_EQ(events.back().message, AUDIO_OUTPUT_CLOSE);

  // A closed device refuses everything; bad buffers are refused while open.
  Buffer late(10);
  EXPECT_EQ(device->Write(&late.header), AUDIO_INVALID_HANDLE);
  EXPECT_EQ(device->Close(), AUDIO_INVALID_HANDLE);
  ASSERT_EQ(OpenSdlAudioOutput(recorder.Callback(), device), AUDIO_OK);
  Buffer odd(10);
  odd.header.length = 7;
  EXPECT_EQ(device->Write(&odd.header), AUDIO_INVALID_PARAM);
  EXPECT_EQ(device->Write(nullptr), AUDIO_INVALID_PARAM);
  EXPECT_EQ(OpenSdlAudioOutput(nullptr, device), AUDIO_INVALID_PARAM);
  EXPECT_FALSE(device);  // the open device was closed by the reset
}

std::vector<int16_t> ReadRaw(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

std::vector<int16_t> WithoutSilence(const std::vector<int16_t>& samples) {
  std::vector<int16_t> out;
  for (int16_t s : samples) {
    if (s != 0) out.push_back(s);
  }
  return out;
}

TEST(SdlAudioOutputTest, VolumeIsAGainThatOutlivesTheDevice) {
  const std::string file = testing::TempDir() + "vantorel-volume-" + std::to_string(getpid()) + ".raw";
  ScopedEnv env{{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", file}};
  OutputRecorder recorder;
  std::unique_ptr<AudioOutput> device;
  ASSERT_EQ(OpenSdlAudioOutput(recorder.Callback(), device), AUDIO_OK);
  uint32_t volume = 0;
  ASSERT_EQ(device->GetVolume(&volume), AUDIO_OK);
  EXPECT_EQ(volume, kAudioFullVolume);
  // Mono uses the low word: half volume there, full in the high word.
  ASSERT_EQ(device->SetVolume(0xFFFF8000u), AUDIO_OK);
  Buffer loud(4);
  loud.samples = {1000, -1000, 32767, -32768};
  loud.header.data = reinterpret_cast<uint8_t*>(loud.samples.data());
  ASSERT_EQ(device->Write(&loud.header), AUDIO_OK);
  ASSERT_TRUE(recorder.WaitForDone(1));
  device.reset();  // destruction closes

  EXPECT_EQ(WithoutSilence(ReadRaw(file)), (std::vector<int16_t>{500, -500, 16383, -16384}));

  // The next device plays at the volume the program set, until it is set back.
  ASSERT_EQ(OpenSdlAudioOutput(recorder.Callback(), device), AUDIO_OK);
  ASSERT_EQ(device->GetVolume(&volume), AUDIO_OK);
  EXPECT_EQ(volume, 0xFFFF8000u);
  device->SetVolume(kAudioFullVolume);
  device.reset();
  std::remove(file.c_str());
}

TEST(SdlAudioOutputTest, AMissingDriverFailsTheOpenAndLaterOpensWork) {
  {
    ScopedEnv env{{"SDL_AUDIODRIVER", "no-such-driver"}};
    OutputRecorder recorder;
    std::unique_ptr<AudioOutput> device;
    EXPECT_EQ(OpenSdlAudioOutput(recorder.Callback(), device), AUDIO_NOT_ENABLED);
    EXPECT_FALSE(device);
    EXPECT_TRUE(recorder.Events().empty());
  }
  OutputRecorder recorder;
  std::unique_ptr<AudioOutput> device;
  EXPECT_EQ(OpenSdlAudioOutput(recorder.Callback(), device), AUDIO_OK);
}

TEST(AudioErrorTextTest, EveryCodeHasItsOwnText) {
  const int codes[] = {AUDIO_OK, AUDIO_ERROR, AUDIO_BAD_DEVICE, AUDIO_NOT_ENABLED, AUDIO_INVALID_HANDLE,
                       AUDIO_NO_DRIVER, AUDIO_NO_MEMORY, AUDIO_INVALID_PARAM, AUDIO_BAD_FORMAT,
                       AUDIO_STILL_PLAYING, AUDIO_UNPREPARED};
  std::vector<std::string> texts;
  for (int code : codes) texts.emplace_back(AudioErrorText(code));
  for (size_t i = 0; i < texts.size(); ++i) {
    for (size_t j = i + 1; j < texts.size(); ++j) EXPECT_NE(texts[i], texts[j]);
  }
  EXPECT_STREQ(AudioErrorText(-1), AudioErrorText(999));
  EXPECT_EQ(std::string(AudioErrorText(AUDIO_NO_MEMORY)), "Not enough memory for the audio buffers.");
}

}  // namespace
}  // namespace vantorel
