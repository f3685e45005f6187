#pragma once
// Deterministic test signals for the coder: tones, noise, speech-like sound, full-scale
// squares, and random codeword bytes. Every generator is seeded, so failures repeat.

#include <algorithm>
#include <cmath>
#include <numbers>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vantorel::test_signals {

inline int16_t Saturate(double v) {
  return static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
}

// A sine tone of `hz` at `amplitude` (full scale 32767 and beyond, which clips).
inline std::vector<int16_t> Tone(size_t n, double hz, double amplitude) {
  std::vector<int16_t> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = Saturate(amplitude * std::sin(2 * std::numbers::pi * hz * i / 8000.0));
  return out;
}

// A sweep from 50 Hz to 3950 Hz and back, at `amplitude`.
inline std::vector<int16_t> Sweep(size_t n, double amplitude) {
  std::vector<int16_t> out(n);
  double phase = 0;
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / n;
    const double hz = 50 + 3900 * (t < 0.5 ? 2 * t : 2 - 2 * t);
    phase += 2 * std::numbers::pi * hz / 8000.0;
    out[i] = Saturate(amplitude * std::sin(phase));
  }
  return out;
}

// Uniform white noise over -level..level (level 32768 covers the whole 16-bit range).
inline std::vector<int16_t> Noise(size_t n, int level, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> dist(-level, level);
  std::vector<int16_t> out(n);
  for (auto& v : out) v = Saturate(dist(rng));
  return out;
}

// Square wave between -32768 and 32767 with the given period in samples.
inline std::vector<int16_t> Square(size_t n, size_t period) {
  std::vector<int16_t> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = (i % period) < period / 2 ? 32767 : -32768;
  return out;
}

// Speech-like sound: syllables of voiced sound (a glottal pulse train with wandering pitch
// through three wandering formant resonators) and unvoiced hiss, with pauses between them
// and a loudness that varies from whisper to shout (`peak` is the loudest amplitude).
inline std::vector<int16_t> Speech(size_t n, double peak, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> uni(0.0, 1.0);
  std::normal_distribution<double> gauss(0.0, 1.0);
  struct Resonator {
    double y1 = 0, y2 = 0;
    double Step(double x, double hz, double bw) {
      const double r = std::exp(-std::numbers::pi * bw / 8000.0);
      const double c = 2 * r * std::cos(2 * std::numbers::pi * hz / 8000.0);
      const double y = (1 - r) * x + c * y1 - r * r * y2;
      y2 = y1;
      y1 = y;
      return y;
    }
  } f1, f2, f3;
  std::vector<int16_t> out(n);
  size_t i = 0;
  double pitch_phase = 0;
  while (i < n) {
    const size_t syllable = 800 + static_cast<size_t>(uni(rng) * 2400);
    const size_t pause = static_cast<size_t>(uni(rng) * 1600);
    const bool voiced = uni(rng) < 0.75;
    const double loud = peak * (0.02 + 0.98 * uni(rng) * uni(rng));
    const double pitch0 = 90 + 160 * uni(rng), pitch1 = 90 + 160 * uni(rng);
    const double fa0 = 300 + 600 * uni(rng), fa1 = 300 + 600 * uni(rng);
    const double fb0 = 900 + 1400 * uni(rng), fb1 = 900 + 1400 * uni(rng);
    const double fc = 2300 + 900 * uni(rng);
    for (size_t k = 0; k < syllable && i < n; ++k, ++i) {
      const double t = static_cast<double>(k) / syllable;
      const double envelope = std::sin(std::numbers::pi * t);
      double excitation;
      if (voiced) {
        pitch_phase += (pitch0 + (pitch1 - pitch0) * t) / 8000.0;
        excitation = pitch_phase >= 1 ? 1.0 : 0.0;
        if (pitch_phase >= 1) pitch_phase -= 1;
        excitation = excitation * 40 + 0.3 * gauss(rng);
      } else {
        excitation = 2.5 * gauss(rng);
      }
      const double v = f1.Step(excitation, fa0 + (fa1 - fa0) * t, 80) * 1.0 +
                       f2.Step(excitation, fb0 + (fb1 - fb0) * t, 120) * 0.6 +
                       f3.Step(excitation, fc, 200) * 0.3;
      out[i] = Saturate(loud * envelope * v * 0.25);
    }
    for (size_t k = 0; k < pause && i < n; ++k, ++i) out[i] = Saturate(30 * gauss(rng));
  }
  return out;
}

// Random packed codeword bytes.
inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(n);
  for (auto& v : out) v = static_cast<uint8_t>(rng());
  return out;
}

struct NamedSignal {
  std::string name;
  std::vector<int16_t> samples;
};

// The signal set for the long comparisons: about 3.4 million samples in all.
inline std::vector<NamedSignal> AllSignals() {
  std::vector<NamedSignal> set;
  for (double hz : {50.0, 300.0, 1000.0, 2600.0, 3999.0}) {
    for (double amp : {30.0, 3000.0, 20000.0, 32767.0, 60000.0}) {
      set.push_back({"tone " + std::to_string(hz) + " Hz at " + std::to_string(amp),
                     Tone(40000, hz, amp)});
    }
  }
  set.push_back({"sweep quiet", Sweep(100000, 500)});
  set.push_back({"sweep full", Sweep(100000, 32767)});
  for (int level : {16, 1000, 32768}) {
    set.push_back({"noise " + std::to_string(level), Noise(200000, level, 7u + level)});
  }
  for (size_t period : {2, 3, 8, 40, 400}) {
    set.push_back({"square " + std::to_string(period), Square(40000, period)});
  }
  set.push_back({"speech soft", Speech(600000, 4000, 11)});
  set.push_back({"speech loud", Speech(600000, 40000, 12)});
  set.push_back({"speech shouted", Speech(400000, 200000, 13)});
  set.push_back({"silence", std::vector<int16_t>(20000, 0)});
  set.push_back({"dc", std::vector<int16_t>(20000, -20000)});
  return set;
}

}  // namespace vantorel::test_signals
