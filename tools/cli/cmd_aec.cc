// vantorel-cli aec --far FAR.wav --mic MIC.wav -o OUT.wav [--delay-ms N]: the echo
// canceller over files, as the talk is to take the echo out of the microphone: the same
// class and settings, 10 ms frames of 8000 Hz mono. FAR is what the loudspeaker
// played, MIC what the microphone took meanwhile (both any WAV, converted to 8000 Hz
// mono), both from the same instant; OUT, as long as MIC, is the microphone without the
// echo, 16-bit PCM. The files are read and written a block at a time.

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio_tx/echo_canceller.h"
#include "commands.h"
#include "files/wav_file.h"

namespace vantorel::cli {
namespace {

// One WAV file's sound, 80 samples at a time.
class FrameReader {
 public:
  bool Open(const std::string& path, std::string& error) {
    path_ = path;
    return reader_.Open(path, kEchoRate, error);
  }
  // Fills `frame` with the next samples (zeros after the end); `got` says how many came
  // from the file. False with a reason naming the file.
  bool Next(std::array<int16_t, kEchoFrameSamples>& frame, size_t& got, std::string& error) {
    got = 0;
    while (got < frame.size()) {
      if (at_ == block_.size()) {
        if (ended_) break;
        if (!reader_.Next(block_, error)) {
          error = path_ + ": " + error;
          return false;
        }
        at_ = 0;
        ended_ = block_.empty();
        continue;
      }
      const size_t n = std::min(frame.size() - got, block_.size() - at_);
      std::copy_n(block_.begin() + static_cast<std::ptrdiff_t>(at_), n, frame.begin() + static_cast<std::ptrdiff_t>(got));
      at_ += n;
      got += n;
    }
    std::fill(frame.begin() + static_cast<std::ptrdiff_t>(got), frame.end(), int16_t{0});
    return true;
  }

 private:
  std::string path_;
  WavReader reader_;
  std::vector<int16_t> block_;
  size_t at_ = 0;
  bool ended_ = false;
};

bool Cancel(const std::string& far_path, const std::string& mic_path, const std::string& out_path,
            const EchoSettings& settings, std::string& error) {
  FrameReader far;
  FrameReader mic;
  WavWriter out;
  if (!far.Open(far_path, error) || !mic.Open(mic_path, error) || !out.Open(out_path, kEchoRate, error)) return false;
  EchoCanceller canceller(settings);
  std::array<int16_t, kEchoFrameSamples> far_frame{};
  std::array<int16_t, kEchoFrameSamples> mic_frame{};
  std::array<int16_t, kEchoFrameSamples> clean{};
  for (;;) {
    size_t far_got = 0;
    size_t mic_got = 0;
    if (!mic.Next(mic_frame, mic_got, error) || !far.Next(far_frame, far_got, error)) return false;
    if (mic_got == 0) return out.Finish(error);
    canceller.Process(far_frame, mic_frame, clean);
    if (!out.Append(std::span(clean).first(mic_got), error)) return false;
  }
}

int Usage() {
  std::fputs(
      "usage: vantorel-cli aec --far FAR.wav --mic MIC.wav -o OUT.wav [--delay-ms N]\n"
      "FAR: what the loudspeaker played; MIC: what the microphone took, from the same instant\n"
      "(any WAV, converted to 8000 Hz mono). OUT: MIC without the echo, 8000 Hz mono 16-bit,\n"
      "as long as MIC. --delay-ms: from the loudspeaker to the microphone (0 to 500, default ",
      stderr);
  std::fprintf(stderr, "%d).\n", EchoSettings{}.delay_ms);
  return 2;
}

}  // namespace

int RunAec(int argc, char** argv) {
  std::string far;
  std::string mic;
  std::string out;
  EchoSettings settings;
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (std::strcmp(argv[i], "--far") == 0 && has_value) {
      far = argv[++i];
    } else if (std::strcmp(argv[i], "--mic") == 0 && has_value) {
      mic = argv[++i];
    } else if (std::strcmp(argv[i], "-o") == 0 && has_value) {
      out = argv[++i];
    } else if (std::strcmp(argv[i], "--delay-ms") == 0 && has_value) {
      char* end = nullptr;
      const long ms = std::strtol(argv[++i], &end, 10);
      if (*argv[i] == '\0' || *end != '\0' || ms < 0 || ms > 500) return Usage();
      settings.delay_ms = static_cast<int>(ms);
    } else {
      return Usage();
    }
  }
  if (far.empty() || mic.empty() || out.empty()) return Usage();
  std::string error;
  if (!Cancel(far, mic, out, settings, error)) {
    std::fprintf(stderr, "vantorel-cli aec: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace vantorel::cli
