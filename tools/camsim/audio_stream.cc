#include "camsim/audio_stream.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace vantorel::camsim {

namespace {

constexpr std::string_view kMarker = "audio/32KADPCM\r\n\r\n";

// One struck bell tone: a fundamental with two weaker harmonics, a 5 ms attack and an
// exponential fade.
double Strike(double t, double frequency, double fade_seconds) {
  if (t < 0) return 0;
  const double attack = std::min(1.0, t / 0.005);
  const double w = 2 * std::numbers::pi * frequency * t;
  return attack * std::exp(-t / fade_seconds) * (std::sin(w) + 0.25 * std::sin(2 * w) + 0.1 * std::sin(3 * w));
}

}  // namespace

std::optional<unsigned> ParseAudioFaults(std::string_view names) {
  unsigned bits = 0;
  while (!names.empty()) {
    const size_t comma = names.find(',');
    const std::string_view name = names.substr(0, comma);
    if (name == "garbage") {
      bits |= kAudioGarbage;
    } else if (name == "split") {
      bits |= kAudioSplit;
    } else if (name == "zeros") {
      bits |= kAudioZeros;
    } else if (name != "none") {
      return std::nullopt;
    }
    names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
  }
  return bits;
}

const char* AudioFaultNames() { return "garbage, split, zeros"; }

std::vector<int16_t> DoorChime() {
  constexpr int kSamples = 3 * kAudioRate;
  constexpr int kFadeOut = kAudioRate / 10;  // the loop's seam stays silent
  std::vector<int16_t> sound(kSamples);
  for (int i = 0; i < kSamples; ++i) {
    const double t = static_cast<double>(i) / kAudioRate;
    double v = 0.5 * Strike(t, 659.25, 0.5) + 0.5 * Strike(t - 0.6, 523.25, 0.8);
    if (i > kSamples - kFadeOut) v *= static_cast<double>(kSamples - i) / kFadeOut;
    sound[static_cast<size_t>(i)] = static_cast<int16_t>(std::lround(v * 16000));
  }
  return sound;
}

AudioFrames::AudioFrames(std::shared_ptr<const std::vector<int16_t>> sound, unsigned faults)
    : sound_(std::move(sound)), faults_(faults) {
  G726InitState(coder_);
}

std::array<uint8_t, kPartBytes> AudioFrames::Next(const std::function<void(std::span<int16_t>)>& mix) {
  std::array<int16_t, kPartSamples> samples{};
  if (sound_ && !sound_->empty()) {
    for (int16_t& s : samples) {
      s = (*sound_)[position_];
      position_ = (position_ + 1) % sound_->size();
    }
  }
  if (mix) mix(samples);
  std::array<uint8_t, kPartBytes> frame;
  G726EncodeBlock(frame.data(), samples.data(), samples.size(), coder_);
  if (faults_ & kAudioZeros) {
    // Right after the marker, in the middle, and as the part's last audio byte.
    for (size_t i : {0, 1, 2, 100, 101, 150, 199}) frame[i] = 0;
  }
  return frame;
}

std::string GarbageBetweenParts(uint32_t seed) {
  std::mt19937 random(seed);
  const std::string_view words[] = {
      "Content-Type: audio/32KADPCM\r\n",  // a header without the blank line
      kMarker.substr(0, 17),               // the marker one byte short
      kMarker.substr(0, 9),
      "\r\n\r\n",
      "--myboundary\r\n",
      std::string_view("\0\0\0\0", 4),
      "Content-Length: 200\r\n",
  };
  for (;;) {
    std::string junk;
    const int count = 1 + static_cast<int>(random() % 6);
    for (int i = 0; i < count; ++i) {
      if (random() % 3 == 0) {
        for (int n = static_cast<int>(random() % 24); n > 0; --n) junk += static_cast<char>(random());
      } else {
        junk += words[random() % std::size(words)];
      }
    }
    // Words can join into a whole marker ("...\r\n\r" + "\n..."), or into a part (a
    // delimiter, then a blank line ending its headers): then draw again. Junk is what no
    // reader can take for sound.
    const size_t delimiter = junk.find("--myboundary");
    const bool part = delimiter != std::string::npos && (junk.find("\r\n\r\n", delimiter) != std::string::npos ||
                                                         junk.find("\n\n", delimiter) != std::string::npos);
    if (junk.find(kMarker) == std::string::npos && !part) return junk;
  }
}

}  // namespace vantorel::camsim
