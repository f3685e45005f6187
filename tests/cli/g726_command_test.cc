// vantorel-cli g726 encode|decode and aec: files in, files out, clear failures.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio_tx/echo_canceller.h"
#include "codec/g726.h"
#include "files/file_bytes.h"
#include "files/replacing_file.h"
#include "files/wav_file.h"

namespace vantorel {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status;
  std::string stderr_text;
};

class G726CommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vantorel-cli-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // Runs vantorel-cli with the arguments (no shell quoting needed for our names).
  Result Run(const std::string& args) const {
    const std::string err = Path("stderr.txt");
    const std::string command = std::string(VANTOREL_CLI_PATH) + " " + args + " 2>" + err;
    const int raw = std::system(command.c_str());
    std::ifstream in(err);
    std::stringstream text;
    text << in.rdbuf();
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text.str()};
  }

  void WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::string error;
    ASSERT_TRUE(WriteFileBytes(Path(name), bytes, error)) << error;
  }
  std::vector<uint8_t> ReadBytes(const std::string& name) const {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(ReadFileBytes(Path(name), bytes, error)) << error;
    return bytes;
  }

  std::string dir_;
};

std::vector<int16_t> Speechy(size_t n) {
  std::vector<int16_t> s(n);
  for (size_t i = 0; i < n; ++i) {
    s[i] = static_cast<int16_t>(9000 * ((i / 37) % 2 ? 1 : -1) + static_cast<int>((i * 7919) % 4001) - 2000);
  }
  return s;
}

std::vector<uint8_t> LittleEndian(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> out;
  for (int16_t v : samples) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
  }
  return out;
}

TEST_F(G726CommandTest, EncodesAndDecodesLikeTheLibrary) {
  const std::vector<int16_t> samples = Speechy(8001);  // odd: the last byte has one code
  WriteBytes("in.raw", LittleEndian(samples));
  ASSERT_EQ(Run("g726 encode " + Path("in.raw") + " " + Path("speech.g726")).status, 0);

  G726State enc;
  G726InitState(enc);
  std::vector<uint8_t> expected((samples.size() + 1) / 2);
  G726EncodeBlock(expected.data(), samples.data(), samples.size(), enc);
  const std::vector<uint8_t> codes = ReadBytes("speech.g726");
  EXPECT_EQ(codes, expected);

  ASSERT_EQ(Run("g726 decode " + Path("speech.g726") + " " + Path("out.WAV")).status, 0);
  ASSERT_EQ(Run("g726 decode " + Path("speech.g726") + " " + Path("out.s16")).status, 0);
  G726State dec;
  G726InitState(dec);
  std::vector<int16_t> decoded(codes.size() * 2);
  G726DecodeBlock(decoded.data(), codes.data(), codes.size(), dec);

  std::vector<int16_t> from_wav;
  std::string error;
  ASSERT_TRUE(ReadWavMono16(Path("out.WAV"), 8000, from_wav, error)) << error;
  EXPECT_EQ(from_wav, decoded);
  EXPECT_EQ(ReadBytes("out.s16"), LittleEndian(decoded));

  // The WAV round trip encodes to the same codes.
  ASSERT_EQ(Run("g726 encode " + Path("out.WAV") + " " + Path("again.g726")).status, 0);
  G726State again;
  G726InitState(again);
  std::vector<uint8_t> reencoded(decoded.size() / 2);
  G726EncodeBlock(reencoded.data(), decoded.data(), decoded.size(), again);
  EXPECT_EQ(ReadBytes("again.g726"), reencoded);
}

// A WAV file of another rate and layout is converted and coded block by block; the codes
// are those of its whole converted sound coded in one go (no sample lost or doubled where
// the blocks meet, one coder state throughout).
TEST_F(G726CommandTest, EncodesAConvertedWavFileInBlocksLikeInOneGo) {
  const std::string sox = "sox -D -n -r 11025 -c 2 -e ima-adpcm " + Path("in.wav") + " synth 9.3 sine 440 vol 0.5";
  if (std::system("command -v sox >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
  ASSERT_EQ(std::system(sox.c_str()), 0);
  ASSERT_EQ(Run("g726 encode " + Path("in.wav") + " " + Path("tone.g726")).status, 0);

  std::vector<int16_t> samples;
  std::string error;
  ASSERT_TRUE(ReadWavMono16(Path("in.wav"), 8000, samples, error)) << error;
  ASSERT_GT(samples.size(), 74000u);
  G726State state;
  G726InitState(state);
  std::vector<uint8_t> expected((samples.size() + 1) / 2);
  G726EncodeBlock(expected.data(), samples.data(), samples.size(), state);
  EXPECT_EQ(ReadBytes("tone.g726"), expected);
}

// Peak resident memory of `vantorel-cli ARGS` in KiB; -1 when it did not succeed.
long PeakKiB(std::vector<std::string> args) {
  args.insert(args.begin(), VANTOREL_CLI_PATH);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, VANTOREL_CLI_PATH, nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return usage.ru_maxrss;
}

// Files are coded block by block: 32 times the sound takes no more memory.
TEST_F(G726CommandTest, MemoryStaysFlatWhateverTheLength) {
  const std::vector<int16_t> speech = Speechy(1 << 19);  // 1 MiB of samples
  std::vector<uint8_t> large;
  for (int i = 0; i < 32; ++i) {
    const std::vector<uint8_t> piece = LittleEndian(speech);
    large.insert(large.end(), piece.begin(), piece.end());
  }
  WriteBytes("small.s16", LittleEndian(speech));
  WriteBytes("large.s16", large);
  large = {};
  long peak[2] = {0, 0};  // KiB, small and large
  for (int large_one = 0; large_one < 2; ++large_one) {
    const std::string name = Path(large_one ? "large" : "small");
    for (const std::vector<std::string>& args : {std::vector<std::string>{"encode", name + ".s16", name + ".g726"},
                                                 {"decode", name + ".g726", name + ".out.s16"},
                                                 {"decode", name + ".g726", name + ".wav"}}) {
      const long kib = PeakKiB({"g726", args[0], args[1], args[2]});
      ASSERT_GT(kib, 0) << args[0] << " " << args[2];
      peak[large_one] = std::max(peak[large_one], kib);
    }
  }
  EXPECT_LT(peak[1], peak[0] + 8 * 1024) << "KiB, 1 MiB of samples: " << peak[0];
  EXPECT_EQ(fs::file_size(Path("large.out.s16")), fs::file_size(Path("large.s16")));
}

TEST_F(G726CommandTest, FailuresSayWhyInOneLineAndWriteNothing) {
  WriteBytes("odd.raw", {1, 2, 3});
  WriteBytes("codes.g726", {0x21, 0x43});
  // A WAV file of a coding that no reader knows (format 0x1234).
  WriteBytes("unknown.wav", {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                             0x34, 0x12, 1, 0, 0x40, 0x1F, 0, 0, 0, 0x7D, 0, 0, 4, 0, 32, 0,
                             'd', 'a', 't', 'a', 4, 0, 0, 0, 0, 0, 0, 0});
  // An MP3 file named .wav: refused before any other reader can look at it (or print).
  std::vector<uint8_t> mp3 = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};
  for (int frame = 0; frame < 8; ++frame) {
    mp3.insert(mp3.end(), {0xFF, 0xFB, 0x90, 0x64});
    mp3.resize(mp3.size() + 413);
  }
  WriteBytes("song.wav", mp3);
  struct Case {
    std::string args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"encode " + Path("missing.wav") + " " + Path("out.g726"), "missing.wav: cannot open"},
      {"encode " + Path("in.mp3") + " " + Path("out.g726"), "in.mp3: encode reads .wav, .raw or .s16"},
      {"encode " + Path("odd.raw") + " " + Path("out.wav"), "out.wav: encode writes .g726"},
      {"encode " + Path("odd.raw") + " " + Path("out.g726"), "odd.raw: odd number of bytes"},
      {"encode " + Path("unknown.wav") + " " + Path("out.g726"), "unknown.wav: not a sound file that can be read"},
      {"encode " + Path("song.wav") + " " + Path("out.g726"), "song.wav: not a WAV file"},
      {"decode " + Path("codes.g726") + " " + Path("out.txt"), "out.txt: decode writes .wav, .raw or .s16"},
      {"decode " + Path("odd.raw") + " " + Path("out.wav"), "odd.raw: decode reads .g726"},
      {"decode " + Path("missing.g726") + " " + Path("out.wav"), "missing.g726: cannot open"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Result r = Run("g726 " + c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.stderr_text.find(c.message), std::string::npos) << r.stderr_text;
    EXPECT_EQ(std::count(r.stderr_text.begin(), r.stderr_text.end(), '\n'), 1) << r.stderr_text;
  }
  for (const char* out : {"out.g726", "out.wav", "out.txt"}) EXPECT_FALSE(fs::exists(Path(out))) << out;

  EXPECT_EQ(Run("g726 encode " + Path("odd.raw")).status, 2);
  EXPECT_EQ(Run("g726 transcode a.wav b.g726").status, 2);
}

// vantorel-cli aec: the same files, the same fixture.
using AecCommandTest = G726CommandTest;

// The microphone's file at another rate is converted; the output is 8000 Hz mono 16-bit
// PCM, exactly as long as the microphone's sound (a last frame cut short included), and
// holds what the canceller makes of the two, frame by frame.
TEST_F(AecCommandTest, WritesTheMicrophoneWithoutTheEchoAsLongAsItIs) {
  const std::vector<int16_t> far = Speechy(8000);
  std::vector<int16_t> mic_16k(2 * 8000 + 2 * 37);  // 8037 samples at 8000 Hz
  for (size_t i = 0; i < mic_16k.size(); ++i) mic_16k[i] = static_cast<int16_t>(far[(i / 2 + 8000 - 320) % 8000] / 2);
  std::string error;
  ASSERT_TRUE(WriteWavMono16(Path("far.wav"), 8000, far, error)) << error;
  ASSERT_TRUE(WriteWavMono16(Path("mic.wav"), 16000, mic_16k, error)) << error;
  ASSERT_EQ(Run("aec --far " + Path("far.wav") + " --mic " + Path("mic.wav") + " -o " + Path("out.wav") +
                " --delay-ms 40").status,
            0);

  std::vector<int16_t> mic;
  ASSERT_TRUE(ReadWavMono16(Path("mic.wav"), 8000, mic, error)) << error;
  ASSERT_EQ(mic.size(), 8037u);
  EchoCanceller canceller(EchoSettings{.delay_ms = 40});
  std::vector<int16_t> expected;
  for (size_t at = 0; at < mic.size(); at += kEchoFrameSamples) {
    std::array<int16_t, kEchoFrameSamples> f{}, m{}, o{};
    for (size_t i = 0; i < kEchoFrameSamples && at + i < mic.size(); ++i) {
      f[i] = at + i < far.size() ? far[at + i] : 0;
      m[i] = mic[at + i];
    }
    canceller.Process(f, m, o);
    expected.insert(expected.end(), o.begin(), o.begin() + static_cast<long>(std::min(kEchoFrameSamples, mic.size() - at)));
  }
  const std::vector<uint8_t> file = ReadBytes("out.wav");
  ASSERT_EQ(file.size(), 44 + 2 * expected.size());
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
  EXPECT_EQ(file[20] | file[21] << 8, 1);     // PCM
  EXPECT_EQ(file[22] | file[23] << 8, 1);     // mono
  EXPECT_EQ(file[24] | file[25] << 8, 8000);  // Hz
  EXPECT_EQ(file[34] | file[35] << 8, 16);    // bits
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 44, file.end()), LittleEndian(expected));
}

TEST_F(AecCommandTest, RefusesBadArgumentsAndUnreadableFilesWritingNothing) {
  std::string error;
  ASSERT_TRUE(WriteWavMono16(Path("far.wav"), 8000, Speechy(800), error)) << error;
  WriteBytes("mic.wav", {'n', 'o', 't', ' ', 'W', 'A', 'V'});
  const std::string files = " --far " + Path("far.wav") + " --mic " + Path("mic.wav") + " -o " + Path("out.wav");
  for (const std::string& args : {std::string("aec"), "aec --far " + Path("far.wav") + " -o " + Path("out.wav"),
                                  "aec" + files + " --delay-ms 501", "aec" + files + " --delay-ms 4x",
                                  "aec" + files + " --echo"}) {
    EXPECT_EQ(Run(args).status, 2) << args;
  }
  const Result r = Run("aec" + files);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.stderr_text.find("mic.wav: "), std::string::npos) << r.stderr_text;
  EXPECT_EQ(std::count(r.stderr_text.begin(), r.stderr_text.end(), '\n'), 1) << r.stderr_text;
  EXPECT_FALSE(fs::exists(Path("out.wav")));
}

}  // namespace
}  // namespace vantorel
