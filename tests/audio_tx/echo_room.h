#pragma once
// A synthetic room for the echo canceller, the same in every run: the far end's speech
// plays from a loudspeaker whose sound comes back into the microphone through the room's
// echoes, with a little noise; then, the loudspeaker silent, the local voice speaks
// alone. What the canceller leaves is measured: the echo it took out (ERLE) once settled,
// and how much the local voice's level changed.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "codec/test_signals.h"

namespace vantorel::echo_room {

inline constexpr int kRate = 8000;
inline constexpr double kNoiseLevel = 6;  // the microphone's noise, RMS: -75 dBFS

// A room: its impulse response from loudspeaker to microphone, at 8000 Hz.
struct Room {
  std::string name;
  std::vector<double> response;
};

inline double Gain(double db) { return std::pow(10.0, db / 20); }
inline size_t Samples(double ms) { return static_cast<size_t>(std::lround(ms * kRate / 1000)); }

// Two echoes: 40 ms after the loudspeaker 6 dB down, 75 ms after it 14 dB down.
inline Room ShortRoom() {
  Room room{"short", std::vector<double>(Samples(75) + 1)};
  room.response[Samples(40)] = Gain(-6);
  room.response[Samples(75)] = Gain(-14);
  return room;
}

// The first echo of the short room, then 200 ms of reflections dying away (60 dB over the
// 200 ms, 12 dB below the first echo in all).
inline Room LongRoom() {
  Room room{"long", std::vector<double>(Samples(240) + 1)};
  room.response[Samples(40)] = Gain(-6);
  std::mt19937 random(97);
  std::normal_distribution<double> gauss(0, 1);
  double energy = 0;
  std::vector<double> tail(Samples(200));
  for (size_t i = 0; i < tail.size(); ++i) {
    tail[i] = gauss(random) * std::pow(10.0, -3.0 * static_cast<double>(i) / static_cast<double>(tail.size()));
    energy += tail[i] * tail[i];
  }
  const double scale = Gain(-6 - 12) / std::sqrt(energy);
  for (size_t i = 0; i < tail.size(); ++i) room.response[Samples(40) + 1 + i] = tail[i] * scale;
  return room;
}

// One recording in the room: `far` is what the loudspeaker played, `mic` what the
// microphone took. Far speech alone for `far_seconds`, half a second of quiet, then the
// local voice alone (loudspeaker silent) for `voice_seconds`.
struct Recording {
  std::vector<int16_t> far;
  std::vector<int16_t> mic;
  size_t echo_end = 0;     // far speech in [0, echo_end)
  size_t voice_begin = 0;  // the local voice in [voice_begin, end)
};

inline Recording Record(const Room& room, double far_seconds = 8, double voice_seconds = 4) {
  Recording r;
  r.echo_end = static_cast<size_t>(far_seconds * kRate);
  r.voice_begin = r.echo_end + kRate / 2;
  const size_t total = r.voice_begin + static_cast<size_t>(voice_seconds * kRate);
  r.far = test_signals::Speech(r.echo_end, 20000, 21);
  r.far.resize(total, 0);
  const std::vector<int16_t> voice = test_signals::Speech(total - r.voice_begin, 12000, 22);
  std::mt19937 random(23);
  std::normal_distribution<double> noise(0, kNoiseLevel);
  r.mic.resize(total);
  std::vector<size_t> taps;
  for (size_t k = 0; k < room.response.size(); ++k) {
    if (room.response[k] != 0) taps.push_back(k);
  }
  for (size_t i = 0; i < total; ++i) {
    double v = noise(random);
    for (size_t k : taps) {
      if (k <= i) v += room.response[k] * r.far[i - k];
    }
    if (i >= r.voice_begin) v += voice[i - r.voice_begin];
    r.mic[i] = test_signals::Saturate(v);
  }
  return r;
}

inline double Energy(std::span<const int16_t> s, size_t begin, size_t end) {
  double e = 0;
  for (size_t i = begin; i < std::min(end, s.size()); ++i) e += static_cast<double>(s[i]) * s[i];
  return e;
}

struct Result {
  double erle_db = 0;          // echo taken out, from 2 s on while the far end speaks
  double ceiling_db = 0;       // the ERLE if only the noise were left
  double voice_change_db = 0;  // the local voice's level after the canceller, against before
  // The output's level while the far end speaks over its level in the quiet just after
  // (the noise, and whatever the canceller adds of its own): 0 dB when no echo is left.
  double over_floor_db = 0;
};

inline Result Measure(const Recording& r, std::span<const int16_t> out) {
  const size_t settled = 2 * kRate;
  Result result;
  result.erle_db = 10 * std::log10(Energy(r.mic, settled, r.echo_end) / std::max(1.0, Energy(out, settled, r.echo_end)));
  result.ceiling_db = 10 * std::log10(Energy(r.mic, settled, r.echo_end) /
                                      (kNoiseLevel * kNoiseLevel * static_cast<double>(r.echo_end - settled)));
  const size_t quiet = r.echo_end + Samples(250);  // past the longest echo
  result.over_floor_db = 10 * std::log10((std::max(1.0, Energy(out, settled, r.echo_end)) / static_cast<double>(r.echo_end - settled)) /
                                         (std::max(1.0, Energy(out, quiet, r.voice_begin)) / static_cast<double>(r.voice_begin - quiet)));
  result.voice_change_db =
      10 * std::log10(std::max(1.0, Energy(out, r.voice_begin, r.mic.size())) / Energy(r.mic, r.voice_begin, r.mic.size()));
  return result;
}

}  // namespace vantorel::echo_room
