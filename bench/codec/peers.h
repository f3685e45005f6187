#pragma once
// The other G.726 32 kbit/s coders that the benchmark runs beside ours, each behind a
// small face so that their headers stay in their own files.

#include <cstdint>
#include <memory>

struct g726_state_s;  // spandsp's coder

namespace vantorel::bench {

// spandsp, 16-bit linear, codes packed with the earlier one in the low four bits.
class SpandspPeer {
 public:
  SpandspPeer();
  ~SpandspPeer();
  SpandspPeer(const SpandspPeer&) = delete;
  SpandspPeer& operator=(const SpandspPeer&) = delete;
  int Encode(uint8_t* out, const int16_t* samples, int count);
  int Decode(int16_t* out, const uint8_t* bytes, int length);

 private:
  g726_state_s* encoder_;
  g726_state_s* decoder_;
};

// libavcodec's "g726le" (the same packing), through the send/receive API.
class LibavcodecPeer {
 public:
  LibavcodecPeer();
  ~LibavcodecPeer();
  LibavcodecPeer(const LibavcodecPeer&) = delete;
  LibavcodecPeer& operator=(const LibavcodecPeer&) = delete;
  // Samples per encoder frame; Encode takes whole frames only.
  int FrameSize() const;
  // Bytes produced.
  int Encode(uint8_t* out, const int16_t* samples, int count);
  // Samples produced.
  int Decode(int16_t* out, const uint8_t* bytes, int length);

 private:
  struct Contexts;
  std::unique_ptr<Contexts> av_;
};

}  // namespace vantorel::bench
