#include "door/chime.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "files/wav_file.h"

namespace vantorel {

namespace {

// One struck bell: partials (frequency ratio, level) of a tone that dies away.
void AddStrike(std::vector<double>& out, double at_seconds, double frequency, double decay_seconds) {
  constexpr struct {
    double ratio, level;
  } kPartials[] = {{1.0, 1.0}, {2.0, 0.35}, {2.76, 0.12}, {5.4, 0.05}};
  constexpr double kAttack = 0.004;
  const size_t first = static_cast<size_t>(at_seconds * kChimeRate);
  for (size_t i = first; i < out.size(); ++i) {
    const double t = static_cast<double>(i - first) / kChimeRate;
    const double envelope = std::min(1.0, t / kAttack) * std::exp(-t / decay_seconds);
    double v = 0;
    for (const auto& p : kPartials) {
      // Higher partials die away faster, as on a struck bar.
      v += p.level * std::exp(-t * (p.ratio - 1) / decay_seconds) * std::sin(2 * std::numbers::pi * frequency * p.ratio * t);
    }
    out[i] += envelope * v;
  }
}

}  // namespace

std::vector<int16_t> OwnChime() {
  std::vector<double> sound(static_cast<size_t>(1.8 * kChimeRate), 0.0);
  AddStrike(sound, 0.0, 659.25, 0.35);  // E5
  AddStrike(sound, 0.55, 523.25, 0.45); // C5
  // A short fade at the very end, so that the sound stops without a click.
  const size_t fade = kChimeRate / 50;
  for (size_t i = 0; i < fade; ++i) sound[sound.size() - 1 - i] *= static_cast<double>(i) / fade;
  std::vector<int16_t> samples(sound.size());
  for (size_t i = 0; i < sound.size(); ++i) {
    samples[i] = static_cast<int16_t>(std::lround(std::clamp(sound[i] * 12000.0, -32767.0, 32767.0)));
  }
  return samples;
}

bool LoadChime(const std::string& path, std::vector<int16_t>& samples, std::string& error) {
  if (!ReadWavMono16(path, kChimeRate, samples, error, kMaxChimeSamples)) return false;
  if (samples.empty()) {
    error = path + ": holds no sound";
    return false;
  }
  return true;
}

}  // namespace vantorel
