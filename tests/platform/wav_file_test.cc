#include "platform/wav_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "platform/file_bytes.h"

namespace vantorel {
namespace {

namespace fs = std::filesystem;

// A WAV file image built by hand, chunk by chunk.
struct WavBuilder {
  std::vector<uint8_t> chunks;

  void Le(uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) chunks.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  WavBuilder& Chunk(const char* id, const std::vector<uint8_t>& body, uint32_t claimed = UINT32_MAX) {
    chunks.insert(chunks.end(), id, id + 4);
    Le(claimed == UINT32_MAX ? static_cast<uint32_t>(body.size()) : claimed, 4);
    chunks.insert(chunks.end(), body.begin(), body.end());
    if (body.size() % 2 != 0 && claimed == UINT32_MAX) chunks.push_back(0);
    return *this;
  }
  WavBuilder& Format(uint16_t tag, int channels, int rate, int bits, uint16_t sub_format = 0) {
    WavBuilder f;
    f.Le(tag, 2);
    f.Le(static_cast<uint32_t>(channels), 2);
    f.Le(static_cast<uint32_t>(rate), 4);
    f.Le(static_cast<uint32_t>(rate * channels * bits / 8), 4);
    f.Le(static_cast<uint32_t>(channels * bits / 8), 2);
    f.Le(static_cast<uint32_t>(bits), 2);
    if (tag == 0xFFFE) {
      f.Le(22, 2);
      f.Le(static_cast<uint32_t>(bits), 2);
      f.Le(0, 4);
      f.Le(sub_format, 2);
      for (int i = 0; i < 14; ++i) f.chunks.push_back(0);
    }
    return Chunk("fmt ", f.chunks);
  }
  std::vector<uint8_t> File() const {
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
    const uint32_t size = static_cast<uint32_t>(chunks.size() + 4);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(size >> (8 * i)));
    out.insert(out.end(), {'W', 'A', 'V', 'E'});
    out.insert(out.end(), chunks.begin(), chunks.end());
    return out;
  }
};

TEST(WavParseTest, FindsFormatAndDataAmongOtherChunks) {
  WavBuilder b;
  b.Chunk("LIST", {1, 2, 3});  // odd length: padded
  b.Format(1, 2, 44100, 16);
  b.Chunk("data", {1, 0, 2, 0, 3, 0, 4, 0, 5});  // a stray byte after two whole frames
  const auto file = b.File();
  WavInfo info;
  std::string error;
  ASSERT_TRUE(ParseWav(file, info, error)) << error;
  EXPECT_EQ(info.format_tag, 1);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.sample_rate, 44100);
  EXPECT_EQ(info.bits_per_sample, 16);
  EXPECT_EQ(info.data.size(), 8u);
  EXPECT_EQ(info.data[0], 1);
}

TEST(WavParseTest, DataBeforeFormatAndCutOffDataAreAccepted) {
  WavBuilder b;
  b.Chunk("data", {9, 0, 8, 0}, 1000);  // claims more than the file holds
  const auto cut = b.File();
  WavInfo info;
  std::string error;
  EXPECT_FALSE(ParseWav(cut, info, error));  // the format chunk was lost with the rest
  EXPECT_EQ(error, "WAV file has no format chunk");

  WavBuilder c;
  c.Chunk("data", {9, 0, 8, 0});
  c.Format(1, 1, 8000, 16);
  ASSERT_TRUE(ParseWav(c.File(), info, error)) << error;
  EXPECT_EQ(info.data.size(), 4u);

  WavBuilder d;
  d.Format(1, 1, 8000, 16);
  d.Chunk("data", {9, 0, 8, 0, 7}, 0xFFFFFFFF);  // a stream writer's "unknown length"
  const auto streamed = d.File();
  ASSERT_TRUE(ParseWav(streamed, info, error)) << error;
  EXPECT_EQ(info.data.size(), 4u);
}

TEST(WavParseTest, ExtensibleFormatNamesItsSubFormat) {
  WavBuilder b;
  b.Format(0xFFFE, 1, 8000, 16, 3);  // IEEE float inside
  b.Chunk("data", {0, 0, 0, 0});
  WavInfo info;
  std::string error;
  ASSERT_TRUE(ParseWav(b.File(), info, error)) << error;
  EXPECT_EQ(info.format_tag, 3);
}

TEST(WavParseTest, RejectsWhatIsNotAWavFile) {
  WavInfo info;
  std::string error;
  const std::vector<uint8_t> empty;
  EXPECT_FALSE(ParseWav(empty, info, error));
  const std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'};
  EXPECT_FALSE(ParseWav(text, info, error));
  EXPECT_EQ(error, "not a WAV file (no RIFF/WAVE header)");

  WavBuilder no_data;
  no_data.Format(1, 1, 8000, 16);
  EXPECT_FALSE(ParseWav(no_data.File(), info, error));
  EXPECT_EQ(error, "WAV file has no data chunk");

  WavBuilder short_format;
  short_format.Chunk("fmt ", {1, 0, 1, 0});
  short_format.Chunk("data", {0, 0});
  EXPECT_FALSE(ParseWav(short_format.File(), info, error));

  WavBuilder no_channels;
  no_channels.Format(1, 0, 8000, 16);
  no_channels.Chunk("data", {0, 0});
  EXPECT_FALSE(ParseWav(no_channels.File(), info, error));

  WavBuilder zero_bits;
  zero_bits.Format(1, 1, 8000, 0);
  zero_bits.Chunk("data", {0, 0});
  EXPECT_FALSE(ParseWav(zero_bits.File(), info, error));
}

class WavFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vantorel-wav-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir_ + "/" + name;
    std::string error;
    EXPECT_TRUE(WriteFileBytes(path, bytes, error)) << error;
    return path;
  }
  std::string dir_;
};

TEST_F(WavFileTest, WrittenFileReadsBackUnchanged) {
  const std::vector<int16_t> samples = {0, 1, -1, 32767, -32768, 1234, -4321};
  const std::string path = dir_ + "/out.wav";
  std::string error;
  ASSERT_TRUE(WriteWavMono16(path, 8000, samples, error)) << error;
  EXPECT_EQ(fs::file_size(path), 44u + 2 * samples.size());
  std::vector<int16_t> back;
  ASSERT_TRUE(ReadWavMono16(path, 8000, back, error)) << error;
  EXPECT_EQ(back, samples);
  // Nothing else is left in the directory (no temporary file).
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

// A recording written piece by piece: the file appears only at Finish, and meanwhile its
// temporary file already reads as the sound so far (the header claims the largest size).
// Without Finish nothing is left.
TEST_F(WavFileTest, AWriterAppendsPiecesAndPutsTheFileInPlaceAtTheEnd) {
  const std::string path = dir_ + "/rec.wav";
  std::string error;
  std::vector<int16_t> all;
  {
    WavWriter writer;
    ASSERT_TRUE(writer.Open(path, 8000, error)) << error;
    for (int piece = 0; piece < 5; ++piece) {
      std::vector<int16_t> samples(400 * piece);
      for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(piece * 1000 - static_cast<int>(i));
      ASSERT_TRUE(writer.Append(samples, error)) << error;
      all.insert(all.end(), samples.begin(), samples.end());
    }
    EXPECT_FALSE(fs::exists(path));
    const fs::path temp = fs::directory_iterator(dir_)->path();
    std::vector<int16_t> so_far;
    ASSERT_TRUE(ReadWavMono16(temp.string(), 8000, so_far, error)) << error;
    EXPECT_EQ(so_far, all);
    ASSERT_TRUE(writer.Finish(error)) << error;
  }
  EXPECT_EQ(fs::file_size(path), 44u + 2 * all.size());
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadFileBytes(path, bytes, error));
  WavInfo info;
  ASSERT_TRUE(ParseWav(bytes, info, error)) << error;
  EXPECT_EQ(info.data.size(), 2 * all.size());  // the true size, not the claim
  std::vector<int16_t> back;
  ASSERT_TRUE(ReadWavMono16(path, 8000, back, error)) << error;
  EXPECT_EQ(back, all);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

  {
    WavWriter abandoned;
    ASSERT_TRUE(abandoned.Open(dir_ + "/never.wav", 8000, error)) << error;
    ASSERT_TRUE(abandoned.Append(all, error)) << error;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
  WavWriter nowhere;
  EXPECT_FALSE(nowhere.Open(dir_ + "/no/such/dir/out.wav", 8000, error));
  EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
}

// A 1 kHz tone at another rate, width or channel count comes out as the same tone at
// 8000 Hz mono: right length, right level, and right pitch (zero crossings).
void ExpectTone(const std::vector<int16_t>& samples, double seconds, double amplitude) {
  ASSERT_NEAR(static_cast<double>(samples.size()), 8000 * seconds, 8000 * seconds * 0.01);
  int peak = 0, crossings = 0;
  for (size_t i = 100; i + 100 < samples.size(); ++i) {
    peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    if ((samples[i - 1] < 0) != (samples[i] < 0)) ++crossings;
  }
  EXPECT_NEAR(peak, amplitude, amplitude * 0.08);
  EXPECT_NEAR(crossings, 2 * 1000 * (samples.size() - 200) / 8000.0, 6);
}

TEST_F(WavFileTest, OtherLayoutsAreConvertedTo8000HzMono) {
  struct Layout {
    int rate, channels, bits;
  };
  for (const Layout& l : {Layout{16000, 2, 16}, Layout{44100, 1, 16}, Layout{48000, 1, 24},
                          Layout{11025, 1, 8}, Layout{22050, 4, 32}, Layout{8000, 2, 16}}) {
    SCOPED_TRACE(std::to_string(l.rate) + " Hz, " + std::to_string(l.channels) + " channels, " +
                 std::to_string(l.bits) + " bits");
    WavBuilder b;
    b.Format(1, l.channels, l.rate, l.bits);
    std::vector<uint8_t> data;
    for (int i = 0; i < l.rate; ++i) {
      const double v = 0.5 * std::sin(2 * std::numbers::pi * 1000 * i / l.rate);
      for (int c = 0; c < l.channels; ++c) {
        if (l.bits == 8) {
          data.push_back(static_cast<uint8_t>(128 + std::lround(v * 127)));
        } else {
          const int64_t full = std::llround(v * static_cast<double>((int64_t{1} << (l.bits - 1)) - 1));
          for (int k = 0; k < l.bits / 8; ++k) data.push_back(static_cast<uint8_t>(full >> (8 * k)));
        }
      }
    }
    b.Chunk("data", data);
    const std::string path = Write("in.wav", b.File());
    std::vector<int16_t> samples;
    std::string error;
    ASSERT_TRUE(ReadWavMono16(path, 8000, samples, error)) << error;
    ExpectTone(samples, 1.0, 16383);
  }
}

TEST_F(WavFileTest, RefusesWithAReasonWhatItCannotRead) {
  std::vector<int16_t> samples;
  std::string error;
  EXPECT_FALSE(ReadWavMono16(dir_ + "/missing.wav", 8000, samples, error));
  EXPECT_NE(error.find("missing.wav: cannot open"), std::string::npos) << error;

  WavBuilder float_wav;
  float_wav.Format(3, 1, 8000, 32);
  float_wav.Chunk("data", {0, 0, 0, 0});
  EXPECT_FALSE(ReadWavMono16(Write("float.wav", float_wav.File()), 8000, samples, error));
  EXPECT_NE(error.find("not a PCM WAV file (format 3)"), std::string::npos) << error;

  WavBuilder odd_width;
  odd_width.Format(1, 1, 8000, 12);
  odd_width.Chunk("data", {0, 0, 0, 0});
  EXPECT_FALSE(ReadWavMono16(Write("twelve.wav", odd_width.File()), 8000, samples, error));
  EXPECT_NE(error.find("unsupported sample width of 12 bits"), std::string::npos) << error;

  WavBuilder slow;
  slow.Format(1, 1, 10, 16);
  slow.Chunk("data", {0, 0, 0, 0});
  EXPECT_FALSE(ReadWavMono16(Write("slow.wav", slow.File()), 8000, samples, error));
  EXPECT_NE(error.find("unsupported sample rate of 10 Hz"), std::string::npos) << error;

  EXPECT_FALSE(ReadWavMono16(dir_, 8000, samples, error));
  EXPECT_NE(error.find("is a directory"), std::string::npos) << error;
}

TEST_F(WavFileTest, FailedWriteLeavesNothingBehind) {
  std::string error;
  const std::vector<int16_t> samples(10, 5);
  EXPECT_FALSE(WriteWavMono16(dir_ + "/no/such/dir/out.wav", 8000, samples, error));
  EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
  // Into a read-only directory (root may write anyway, so only checked when refused).
  const std::string locked = dir_ + "/locked";
  ASSERT_EQ(mkdir(locked.c_str(), 0500), 0);
  if (!WriteWavMono16(locked + "/out.wav", 8000, samples, error)) {
    EXPECT_TRUE(fs::is_empty(locked));
  }
  chmod(locked.c_str(), 0700);
}

}  // namespace
}  // namespace vantorel
