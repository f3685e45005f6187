// The echo canceller in the synthetic room (tests/audio_tx/echo_room.h): what it takes
// out and what it keeps, room by room, and the room's files for `vantorel-cli aec`.
//
//   echo_room [--delay-ms N]               ERLE after 2 s (and per second), the local
//                                          voice's level change, for both rooms
//   echo_room --write DIR                  DIR/ROOM-far.wav and DIR/ROOM-mic.wav
//   echo_room --measure ROOM OUT.wav       the same figures for a canceller's output file
//   echo_room --cost N                     N frames of the short room and nothing else
//                                          (for callgrind: bench/audio_tx/echo_callgrind.sh)
//   echo_room --engine                     the library at work and its tail

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio_tx/echo_canceller.h"
#include "audio_tx/echo_room.h"
#include "files/wav_file.h"

namespace {

using namespace vantorel;

std::vector<int16_t> Cancel(const echo_room::Recording& r, int delay_ms) {
  EchoCanceller canceller(EchoSettings{delay_ms});
  std::vector<int16_t> out(r.mic.size());
  for (size_t at = 0; at + kEchoFrameSamples <= r.mic.size(); at += kEchoFrameSamples) {
    canceller.Process(EchoFrame(r.far.data() + at, kEchoFrameSamples), EchoFrame(r.mic.data() + at, kEchoFrameSamples),
                      std::span<int16_t, kEchoFrameSamples>(out.data() + at, kEchoFrameSamples));
  }
  return out;
}

void Report(const echo_room::Room& room, const echo_room::Recording& r, const std::vector<int16_t>& out) {
  const echo_room::Result result = echo_room::Measure(r, out);
  std::printf("%-6s ERLE %4.1f dB after 2 s (noise alone %.1f), %4.1f dB over the quiet's output, local voice %+5.2f dB;"
              " ERLE per second:",
              room.name.c_str(), result.erle_db, result.ceiling_db, result.over_floor_db, result.voice_change_db);
  for (size_t s = 0; s + echo_room::kRate <= r.echo_end; s += echo_room::kRate) {
    const double in = echo_room::Energy(r.mic, s, s + echo_room::kRate);
    const double left = std::max(1.0, echo_room::Energy(out, s, s + echo_room::kRate));
    std::printf(" %.1f", 10 * std::log10(in / left));
  }
  std::printf("\n");
}

int Usage() {
  std::fputs("usage: echo_room [--delay-ms N] | --write DIR | --measure short|long OUT.wav | --cost FRAMES | --engine\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<echo_room::Room> rooms = {echo_room::ShortRoom(), echo_room::LongRoom()};
  std::string error;
  if (argc == 3 && std::strcmp(argv[1], "--write") == 0) {
    for (const echo_room::Room& room : rooms) {
      const echo_room::Recording r = echo_room::Record(room);
      const std::string base = std::string(argv[2]) + "/" + room.name;
      if (!WriteWavMono16(base + "-far.wav", echo_room::kRate, r.far, error) ||
          !WriteWavMono16(base + "-mic.wav", echo_room::kRate, r.mic, error)) {
        std::fprintf(stderr, "echo_room: %s\n", error.c_str());
        return 1;
      }
    }
    return 0;
  }
  if (argc == 4 && std::strcmp(argv[1], "--measure") == 0) {
    for (const echo_room::Room& room : rooms) {
      if (room.name != argv[2]) continue;
      std::vector<int16_t> out;
      if (!ReadWavMono16(argv[3], echo_room::kRate, out, error)) {
        std::fprintf(stderr, "echo_room: %s\n", error.c_str());
        return 1;
      }
      Report(room, echo_room::Record(room), out);
      return 0;
    }
    return Usage();
  }
  if (argc == 2 && std::strcmp(argv[1], "--engine") == 0) {
    std::printf("%s, tail %d ms\n", EchoCanceller::Engine(), EchoCanceller::tail_ms());
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "--cost") == 0) {
    const echo_room::Recording r = echo_room::Record(rooms[0]);
    const long frames = std::atol(argv[2]);
    EchoCanceller canceller;
    std::vector<int16_t> out(kEchoFrameSamples);
    const size_t count = r.echo_end / kEchoFrameSamples;  // frames with echo in them
    for (long f = 0; f < frames; ++f) {
      const size_t at = static_cast<size_t>(f) % count * kEchoFrameSamples;
      canceller.Process(EchoFrame(r.far.data() + at, kEchoFrameSamples), EchoFrame(r.mic.data() + at, kEchoFrameSamples),
                        std::span<int16_t, kEchoFrameSamples>(out));
    }
    return 0;
  }
  int delay_ms = 0;
  if (argc == 3 && std::strcmp(argv[1], "--delay-ms") == 0) {
    delay_ms = std::atoi(argv[2]);
  } else if (argc != 1) {
    return Usage();
  }
  std::printf("%s, tail %d ms, delay set to %d ms\n", EchoCanceller::Engine(), EchoCanceller::tail_ms(), delay_ms);
  for (const echo_room::Room& room : rooms) {
    const echo_room::Recording r = echo_room::Record(room);
    Report(room, r, Cancel(r, delay_ms));
  }
  return 0;
}
