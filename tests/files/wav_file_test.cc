#include "files/wav_file.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "files/file_bytes.h"
#include "files/replacing_file.h"

namespace vantorel {
namespace {

namespace fs = std::filesystem;

// A WAV file image built by hand, chunk by chunk: for what no sound tool writes on purpose.
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
  WavBuilder& Format(uint16_t tag, int channels, int rate, int bits) {
    WavBuilder f;
    f.Le(tag, 2);
    f.Le(static_cast<uint32_t>(channels), 2);
    f.Le(static_cast<uint32_t>(rate), 4);
    f.Le(static_cast<uint32_t>(rate * channels * bits / 8), 4);
    f.Le(static_cast<uint32_t>(channels * bits / 8), 2);
    f.Le(static_cast<uint32_t>(bits), 2);
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

std::vector<uint8_t> Pcm16(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> out;
  for (int16_t s : samples) {
    out.push_back(static_cast<uint8_t>(s));
    out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
  }
  return out;
}

// Hand-built files in the shapes that real writers leave: other chunks first, a recording
// cut off after its header, a stream writer's "unknown length". Read from memory, each
// gives exactly the samples it holds.
TEST(WavDecodeTest, TakesWhatTheFileReallyHolds) {
  const std::vector<int16_t> sound = {9, -8, 7, -6, 32767, -32768};
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    size_t samples;
  };
  std::vector<Case> cases;
  {
    WavBuilder b;
    b.Chunk("LIST", {1, 2, 3});  // odd length: padded
    b.Format(1, 1, 8000, 16);
    b.Chunk("data", Pcm16(sound));
    cases.push_back({"other chunks first", b.File(), sound.size()});
  }
  {
    WavBuilder b;
    b.Format(1, 1, 8000, 16);
    b.Chunk("data", Pcm16(sound), 1000);  // claims more than the file holds
    cases.push_back({"cut off", b.File(), sound.size()});
  }
  {
    WavBuilder b;
    b.Format(1, 1, 8000, 16);
    b.Chunk("data", Pcm16(sound), 0xFFFFFFFF);
    cases.push_back({"unknown length", b.File(), sound.size()});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int16_t> samples;
    std::string error;
    ASSERT_TRUE(DecodeWavMono16(c.file, 8000, samples, error)) << error;
    EXPECT_EQ(samples, std::vector<int16_t>(sound.begin(), sound.begin() + static_cast<ptrdiff_t>(c.samples)));
  }
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
  // Has sox write a `tone_hz` sine at half of full scale, one second long, in the layout
  // `args` describes. False when sox is not installed.
  bool Sox(const std::string& args, int tone_hz, const std::string& path) {
    if (std::system("command -v sox >/dev/null 2>&1") != 0) return false;
    const std::string command =
        "sox -D -n " + args + " " + path + " synth 1 sine " + std::to_string(tone_hz) + " vol 0.5 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return true;
  }
  size_t Entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {})); }
  std::string dir_;
};

TEST_F(WavFileTest, WrittenFileReadsBackUnchanged) {
  const std::vector<int16_t> samples = {0, 1, -1, 32767, -32768, 1234, -4321};
  const std::string path = dir_ + "/out.wav";
  std::string error;
  ASSERT_TRUE(WriteWavMono16(path, 8000, samples, error)) << error;
  EXPECT_EQ(fs::file_size(path), 44u + 2 * samples.size());  // the plain header every reader knows
  std::vector<int16_t> back;
  ASSERT_TRUE(ReadWavMono16(path, 8000, back, error)) << error;
  EXPECT_EQ(back, samples);
  EXPECT_EQ(Entries(), 1u);  // no temporary file left
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// A recording written piece by piece: the file appears only at Finish, and meanwhile its
// temporary file already reads as the sound so far (its header follows every Append), as
// it would after the run was killed; also across the turn into RF64, made early here by a
// small limit. Without Finish nothing is left.
TEST_F(WavFileTest, AWriterAppendsPiecesAndPutsTheFileInPlaceAtTheEnd) {
  for (const uint64_t limit : {kPlainWavDataLimit, uint64_t{3000}}) {
    SCOPED_TRACE(limit);
    const std::string path = dir_ + "/rec.wav";
    std::string error;
    std::vector<int16_t> all;
    {
      WavWriter writer(limit);
      ASSERT_TRUE(writer.Open(path, 8000, error)) << error;
      for (int piece = 0; piece < 5; ++piece) {
        std::vector<int16_t> samples(400 * piece);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(piece * 1000 - static_cast<int>(i));
        ASSERT_TRUE(writer.Append(samples, error)) << error;
        all.insert(all.end(), samples.begin(), samples.end());
        EXPECT_FALSE(fs::exists(path));
        const fs::path temp = fs::directory_iterator(dir_)->path();
        std::vector<int16_t> so_far;
        ASSERT_TRUE(ReadWavMono16(temp.string(), 8000, so_far, error)) << error;
        EXPECT_EQ(so_far, all);
      }
      ASSERT_TRUE(writer.Finish(error)) << error;
    }
    std::vector<int16_t> back;
    ASSERT_TRUE(ReadWavMono16(path, 8000, back, error)) << error;
    EXPECT_EQ(back, all);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadFileBytes(path, bytes, error)) << error;
    if (limit == kPlainWavDataLimit) {
      // Plain PCM, the header every reader knows: format tag 1 in a 16-byte chunk, no JUNK.
      EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
      EXPECT_EQ(Le32(bytes, 16), 16u);
      EXPECT_EQ(bytes[20] | bytes[21] << 8, 1);
      EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
      EXPECT_EQ(bytes.size(), 44 + 2 * all.size());
      // Python's own reader (before 3.12 it refuses WAVE_FORMAT_EXTENSIBLE).
      const std::string python = "python3 -c 'import sys, wave; sys.exit(wave.open(sys.argv[1]).getnframes() != " +
                                 std::to_string(all.size()) + ")' " + path;
      if (std::system("command -v python3 >/dev/null 2>&1") == 0) {
        EXPECT_EQ(std::system(python.c_str()), 0);
      }
    } else {
      EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RF64");
      EXPECT_EQ(bytes.size(), 80 + 2 * all.size());
    }
    EXPECT_EQ(Entries(), 1u);
    fs::remove(path);
  }

  std::string error;
  {
    WavWriter abandoned;
    ASSERT_TRUE(abandoned.Open(dir_ + "/never.wav", 8000, error)) << error;
    ASSERT_TRUE(abandoned.Append(std::vector<int16_t>(100), error)) << error;
  }
  EXPECT_EQ(Entries(), 0u);
  WavWriter nowhere;
  EXPECT_FALSE(nowhere.Open(dir_ + "/no/such/dir/out.wav", 8000, error));
  EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
  EXPECT_FALSE(nowhere.Append(std::vector<int16_t>(100), error));
}

// Every writer of an output file: a file written over keeps its mode (and a new one has
// 0666 less the umask).
TEST_F(WavFileTest, AFileWrittenOverKeepsItsMode) {
  const mode_t old_umask = umask(022);
  const std::vector<int16_t> samples(100, 7);
  const std::vector<std::pair<const char*, std::function<bool(const std::string&, std::string&)>>> writers = {
      {"WriteWavMono16", [&](const std::string& p, std::string& e) { return WriteWavMono16(p, 8000, samples, e); }},
      {"WavWriter",
       [&](const std::string& p, std::string& e) {
         WavWriter w;
         return w.Open(p, 8000, e) && w.Append(samples, e) && w.Finish(e);
       }},
      {"WriteFileBytes", [&](const std::string& p, std::string& e) { return WriteFileBytes(p, Pcm16(samples), e); }},
  };
  for (const auto& [name, write] : writers) {
    SCOPED_TRACE(name);
    const std::string kept = dir_ + "/kept", fresh = dir_ + "/fresh";
    std::string error;
    ASSERT_TRUE(write(kept, error)) << error;
    ASSERT_EQ(chmod(kept.c_str(), 0600), 0);
    ASSERT_TRUE(write(kept, error)) << error;
    ASSERT_TRUE(write(fresh, error)) << error;
    EXPECT_EQ(fs::status(kept).permissions(), fs::perms(0600));
    EXPECT_EQ(fs::status(fresh).permissions(), fs::perms(0644));
    fs::remove(kept);
    fs::remove(fresh);
  }
  umask(old_umask);
}

// Targets that are not regular files: a device is written in place and stays; a pipe
// cannot take a WAV file (its header is rewritten at the end) and is refused, but left
// where it was; a link keeps pointing at the file it named, which gets the new sound.
TEST_F(WavFileTest, OutputsThatAreNotRegularFilesAreNeverRemoved) {
  const std::vector<int16_t> samples(800, 100);
  std::string error;
  ASSERT_TRUE(WriteWavMono16("/dev/null", 8000, samples, error)) << error;
  WavWriter recorder(1000);  // turns RF64 on the way: a device is rewritten in place
  ASSERT_TRUE(recorder.Open("/dev/null", 8000, error)) << error;
  ASSERT_TRUE(recorder.Append(std::span(samples).first(400), error)) << error;
  ASSERT_TRUE(recorder.Append(samples, error)) << error;
  ASSERT_TRUE(recorder.Finish(error)) << error;
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  const std::string pipe = dir_ + "/pipe.wav";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  // Refused at once, without waiting for a reader to open it.
  EXPECT_FALSE(WriteWavMono16(pipe, 8000, samples, error));
  EXPECT_NE(error.find("pipe"), std::string::npos) << error;
  EXPECT_FALSE(recorder.Open(pipe, 8000, error));
  EXPECT_TRUE(fs::is_fifo(pipe));

  const std::string real = dir_ + "/real.wav";
  const std::string link = dir_ + "/link.wav";
  ASSERT_TRUE(WriteWavMono16(real, 8000, std::vector<int16_t>(5, 1), error)) << error;
  fs::create_symlink(real, link);
  ASSERT_TRUE(WriteWavMono16(link, 8000, samples, error)) << error;
  EXPECT_TRUE(fs::is_symlink(link));
  std::vector<int16_t> back;
  ASSERT_TRUE(ReadWavMono16(real, 8000, back, error)) << error;
  EXPECT_EQ(back, samples);
  EXPECT_EQ(Entries(), 3u);
}

// A tone at another rate, width, encoding or channel count comes out as the same tone at
// 8000 Hz mono: right length, right level, and right pitch (zero crossings).
void ExpectTone(const std::vector<int16_t>& samples, double seconds, int tone_hz, double level_tolerance,
                double length_slack) {
  ASSERT_NEAR(static_cast<double>(samples.size()), 8000 * seconds, 8000 * seconds * length_slack);
  int peak = 0, crossings = 0;
  const size_t end = std::min(samples.size(), static_cast<size_t>(8000 * seconds)) - 100;
  for (size_t i = 100; i < end; ++i) {
    peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    if ((samples[i - 1] < 0) != (samples[i] < 0)) ++crossings;
  }
  EXPECT_NEAR(peak, 16383, 16383 * level_tolerance);
  EXPECT_NEAR(crossings, 2.0 * tone_hz * static_cast<double>(end - 100) / 8000.0, 6);
}

// Every kind of WAV file sox writes.
TEST_F(WavFileTest, EveryKindOfWavFileIsConvertedTo8000HzMono) {
  struct Kind {
    const char* sox_args;
    int tone_hz;
    double level_tolerance;
    double length_slack;  // block codings pad their last block
  };
  const Kind kinds[] = {
      {"-r 8000 -c 1 -b 16", 1000, 0.01, 0.001},
      {"-r 44100 -c 1 -b 16", 1000, 0.03, 0.01},
      {"-r 16000 -c 2 -b 16", 1000, 0.03, 0.01},
      {"-r 48000 -c 1 -b 24", 1000, 0.03, 0.01},
      {"-r 22050 -c 4 -b 32", 1000, 0.03, 0.01},
      {"-r 96000 -c 6 -b 24", 1000, 0.03, 0.01},  // WAVE_FORMAT_EXTENSIBLE
      {"-r 44100 -c 2 -e floating-point -b 32", 1000, 0.03, 0.01},
      {"-r 16000 -c 1 -e floating-point -b 64", 1000, 0.03, 0.01},
      {"-r 11025 -c 1 -b 8", 1000, 0.04, 0.01},
      {"-r 1000 -c 1 -b 8", 300, 0.05, 0.01},
      {"-r 8000 -c 1 -e mu-law", 1000, 0.04, 0.001},
      {"-r 48000 -c 2 -e a-law", 1000, 0.04, 0.01},
      {"-r 22050 -c 1 -e ima-adpcm", 1000, 0.08, 0.03},
      {"-r 8000 -c 2 -e ms-adpcm", 1000, 0.08, 0.03},
      {"-r 8000 -c 1 -e gsm-full-rate", 1000, 0.25, 0.05},
      {"-r 8000 -c 258 -b 16", 1000, 0.01, 0.001},
  };
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.sox_args);
    const std::string path = dir_ + "/in.wav";
    if (!Sox(kind.sox_args, kind.tone_hz, path)) GTEST_SKIP() << "sox is not installed";
    std::vector<int16_t> samples;
    std::string error;
    ASSERT_TRUE(ReadWavMono16(path, 8000, samples, error)) << error;
    ExpectTone(samples, 1.0, kind.tone_hz, kind.level_tolerance, kind.length_slack);
    // From memory, block by block, the same samples.
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadFileBytes(path, bytes, error)) << error;
    std::vector<int16_t> from_memory;
    ASSERT_TRUE(DecodeWavMono16(bytes, 8000, from_memory, error)) << error;
    EXPECT_EQ(from_memory, samples);
  }
}

// 258 channels, each with its own level: all of them count, none is dropped or read as
// another layout.
TEST_F(WavFileTest, AllChannelsAreMixedDown) {
  constexpr int kChannels = 258;
  std::vector<int16_t> interleaved;
  for (int frame = 0; frame < 800; ++frame) {
    for (int c = 0; c < kChannels; ++c) interleaved.push_back(static_cast<int16_t>(c < 129 ? 200 : 0));
  }
  WavBuilder b;
  b.Format(1, kChannels, 8000, 16);
  b.Chunk("data", Pcm16(interleaved));
  std::vector<int16_t> samples;
  std::string error;
  ASSERT_TRUE(DecodeWavMono16(b.File(), 8000, samples, error)) << error;
  ASSERT_EQ(samples.size(), 800u);
  for (int16_t s : samples) ASSERT_EQ(s, 100);
}

// The file that crashed the old converter: 8-bit mono at 1000 Hz, 40 MB, eleven hours of
// sound that become 320 million samples at 8000 Hz. Its length is worked out in 64 bits,
// and the conversion runs in blocks whose size does not grow with the file; the first
// minutes are read here (the whole conversion of a short file of this kind is in the
// table above, and ReadWavMono16 holds at most its cap).
TEST_F(WavFileTest, AFortyMegabyteFileAt1000HzIsConvertedInBlocks) {
  constexpr uint32_t kBytes = 40'000'000;
  WavBuilder b;
  b.Format(1, 1, 1000, 8);
  std::vector<uint8_t> data(kBytes);
  // A 250 Hz tone at half of full scale: 1, 0, -1, 0.
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 2 ? 128 : i % 4 ? 128 - 64 : 128 + 64);
  b.Chunk("data", data);
  data = {};
  const std::string path = Write("long.wav", b.File());

  WavReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(path, 8000, error)) << error;
  EXPECT_NEAR(static_cast<double>(reader.expected_samples()), 8.0 * kBytes, 16);
  std::vector<int16_t> block;
  size_t total = 0, largest = 0;
  int peak = 0;
  while (total < 8000 * 240) {
    ASSERT_TRUE(reader.Next(block, error)) << error;
    ASSERT_FALSE(block.empty());
    total += block.size();
    largest = std::max(largest, block.size());
    for (int16_t s : block) peak = std::max(peak, std::abs(static_cast<int>(s)));
  }
  EXPECT_LE(largest, 70000u);
  EXPECT_NEAR(peak, 16384, 16384 * 0.1);

  // Held whole, it is refused with a reason when over the cap, never cut short.
  std::vector<int16_t> samples;
  EXPECT_FALSE(ReadWavMono16(path, 8000, samples, error, 100'000'000));
  EXPECT_NE(error.find("long.wav: too long to hold"), std::string::npos) << error;
  EXPECT_TRUE(samples.empty());
}

TEST_F(WavFileTest, RefusesWithAReasonWhatItCannotRead) {
  struct Case {
    std::string path;
    std::string message;
  };
  WavBuilder unknown_coding;
  unknown_coding.Format(0x1234, 1, 8000, 16);
  unknown_coding.Chunk("data", {0, 0, 0, 0});
  WavBuilder slow;
  slow.Format(1, 1, 10, 16);  // 800 times its rate: more than the converter does
  slow.Chunk("data", {0, 0, 0, 0});
  const std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'};
  std::vector<Case> cases = {
      {dir_ + "/missing.wav", "missing.wav: cannot open"},
      {dir_, "is a directory"},
      {Write("text.wav", text), "text.wav: not a WAV file (no RIFF/WAVE header)"},
      {Write("unknown.wav", unknown_coding.File()), "unknown.wav: not a sound file that can be read"},
      {Write("slow.wav", slow.File()), "slow.wav: cannot convert 10 Hz to 8000 Hz"},
  };
  if (Sox("-r 8000 -c 1", 1000, dir_ + "/tone.aiff")) cases.push_back({dir_ + "/tone.aiff", "tone.aiff: not a WAV file"});
  if (Sox("-r 8000 -c 1", 1000, dir_ + "/tone.flac")) cases.push_back({dir_ + "/tone.flac", "tone.flac: not a WAV file"});
  // libsndfile decodes ADPCM of one or two channels only; sox also writes more.
  if (Sox("-r 8000 -c 3 -e ima-adpcm", 1000, dir_ + "/three.wav")) {
    cases.push_back({dir_ + "/three.wav", "three.wav: not a sound file that can be read (Error in ADPCM WAV file"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::vector<int16_t> samples = {1, 2, 3};
    std::string error;
    EXPECT_FALSE(ReadWavMono16(c.path, 8000, samples, error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}

TEST_F(WavFileTest, FailedWriteLeavesNothingBehind) {
  std::string error;
  const std::vector<int16_t> samples(10, 5);
  EXPECT_FALSE(WriteWavMono16(dir_ + "/no/such/dir/out.wav", 8000, samples, error));
  EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
  EXPECT_FALSE(WriteWavMono16(dir_, 8000, samples, error));
  EXPECT_NE(error.find("is a directory"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_directory(dir_));
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
