#pragma once
// The simulated camera's microphone: the sound it sends on GET /axis-cgi/audio/receive.cgi,
// coded as the camera codes it, and the stream's own misbehaviours.
//
// The stream is an endless multipart/x-mixed-replace body. Each part is
//   "--myboundary\r\nContent-Type: audio/32KADPCM\r\n\r\n" + 200 bytes of G.726 + "\r\n"
// and holds 50 ms of sound; parts leave in real time, one per Options::audio_part_interval.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/g726.h"

namespace vantorel::camsim {

inline constexpr int kAudioRate = 8000;
inline constexpr int kPartSamples = 400;  // 50 ms
inline constexpr size_t kPartBytes = 200;  // G.726 32 kbit/s: two codes per byte
inline constexpr const char* kAudioContentType = "multipart/x-mixed-replace;boundary=myboundary";
inline constexpr std::string_view kPartHeader = "--myboundary\r\nContent-Type: audio/32KADPCM\r\n\r\n";

// Misbehaviours of the audio stream, any combination (bits of Options::audio_faults). The
// run's --fault adds the plain HTTP ones (audio_endpoint.cc says which apply).
enum AudioFault : unsigned {
  kAudioGarbage = 1u << 0,  // junk between parts: stray headers, partial markers, zero bytes
  kAudioSplit = 1u << 1,    // each part in several writes, cut inside the marker, right after
                            // it and inside the audio, drip_gap apart
  kAudioZeros = 1u << 2,    // zero bytes in the audio of every part (first, middle and last)
};

// "garbage", "split", "zeros", comma-separated (or "none") to AudioFault bits; nullopt for
// an unknown name.
std::optional<unsigned> ParseAudioFaults(std::string_view names);
const char* AudioFaultNames();  // "garbage, split, zeros": for usage texts

// The default sound: a two-tone door chime ("ding" at 659 Hz, "dong" at 523 Hz, each
// fading out), 3 s at 8000 Hz.
std::vector<int16_t> DoorChime();

// The frames of one connection: the sound looped without end, coded by one G.726 coder
// that starts with the connection. Tests build the same frames to know what was sent.
class AudioFrames {
 public:
  // `sound` at 8000 Hz; empty plays silence.
  AudioFrames(std::shared_ptr<const std::vector<int16_t>> sound, unsigned faults);

  // The next part's codes; `mix`, when given, adds to its 400 samples before they are coded.
  std::array<uint8_t, kPartBytes> Next(const std::function<void(std::span<int16_t>)>& mix = nullptr);

 private:
  const std::shared_ptr<const std::vector<int16_t>> sound_;
  const unsigned faults_;
  size_t position_ = 0;
  G726State coder_;
};

// Junk to put between two parts: never holds the frame marker or a whole part (a delimiter
// line followed by a blank line), and may start or end with pieces of them. `seed` makes it
// repeatable.
std::string GarbageBetweenParts(uint32_t seed);

}  // namespace vantorel::camsim
