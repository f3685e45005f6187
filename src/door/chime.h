#pragma once
// The ring's sound: our own two-tone chime, made in code, or a WAV file of the user's; 16-bit
// mono at the sound devices' 8000 Hz.

#include <cstdint>
#include <string>
#include <vector>

namespace vantorel {

inline constexpr int kChimeRate = 8000;
// The longest chime taken from a file (30 s); a longer one is refused.
inline constexpr uint64_t kMaxChimeSamples = uint64_t{30} * kChimeRate;

// "Ding-dong": E5 then C5, bell-like (a few partials, each dying away), 1.8 s.
std::vector<int16_t> OwnChime();

// The WAV file at `path` (any kind wav_file.h reads) converted to kChimeRate. False with a
// one-line reason when it cannot be read, holds no sound or is longer than kMaxChimeSamples.
bool LoadChime(const std::string& path, std::vector<int16_t>& samples, std::string& error);

}  // namespace vantorel
