// The frame scanner: which bytes are frames, and that the answer never depends on how the
// network cuts the stream.

#include "audio_rx/frame_scanner.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "frame_oracle.h"

namespace vantorel {
namespace {

using namespace std::string_literals;

const std::string kMarker(kFrameMarker);

// 200 bytes that name their frame and hold zero bytes and marker-like text.
std::string Frame(int n) {
  std::string f(kFrameBytes, '\0');
  for (int i = 0; i < kFrameBytes; ++i) f[static_cast<size_t>(i)] = static_cast<char>((n * 37 + i * 11) % 256);
  f[0] = static_cast<char>(n);
  f.replace(40, 10, 10, '\0');
  f.replace(60, kMarker.size(), kMarker);  // inside the audio: never a marker
  f.replace(180, 9, "audio/32K");          // a marker's start running to the frame's end
  return f;
}

std::string Part(int n) { return "--myboundary\r\nContent-Type: audio/32KADPCM\r\n\r\n" + Frame(n) + "\r\n"; }

// A stream with everything the scanner has to skip, and the frames it holds.
struct TrickyStream {
  std::string bytes;
  std::vector<std::string> frames;
};

TrickyStream Tricky() {
  TrickyStream s;
  s.bytes = "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=myboundary\r\n\r\n";
  s.bytes += Part(1);
  s.bytes += "garbage\0\0\0 audio/32KADPCM\r\n\r"s;          // one byte short
  s.bytes += "audio/32KADPCM\r\naudio/32K\0ADPCM\r\n\r\n"s;  // a zero inside: not a marker
  s.bytes += "Audio/32KADPCM\r\n\r\n";                      // another case: not a marker
  s.bytes += Part(2);
  s.bytes += "audio/32KADPCM\r\n" + kMarker + Frame(3);     // the marker starts again mid-way
  s.bytes += std::string(kFrameBytes, 'U');                 // audio without a marker: skipped
  s.bytes += std::string(300, '\0') + kMarker + Frame(5) + kMarker + Frame(6);  // back to back
  s.bytes += "--myboundary\r\nContent-Type: audio/32KADPCM\r\n\r\n" + Frame(7).substr(0, 150);  // cut off
  s.frames = {Frame(1), Frame(2), Frame(3), Frame(5), Frame(6)};
  return s;
}

TEST(FrameScannerTest, FindsTheFramesOfACameraStreamAndSkipsEverythingElse) {
  const TrickyStream s = Tricky();
  ASSERT_EQ(OracleFrames(s.bytes), s.frames);  // the oracle agrees with the stream's makeup
  FrameScanner scanner;
  std::vector<std::string> got;
  const size_t count = scanner.Feed({reinterpret_cast<const uint8_t*>(s.bytes.data()), s.bytes.size()},
                                    [&](const uint8_t* f) { got.emplace_back(reinterpret_cast<const char*>(f), kFrameBytes); });
  EXPECT_EQ(count, s.frames.size());
  EXPECT_EQ(got, s.frames);
  // The last frame lacks 50 bytes: it is never reported, and the scanner knows it is in one.
  EXPECT_TRUE(scanner.InFrame());
  FrameScanner fresh;
  EXPECT_FALSE(fresh.InFrame());
  EXPECT_EQ(fresh.Feed({reinterpret_cast<const uint8_t*>(s.bytes.data()), s.bytes.size()}, nullptr), s.frames.size());
}

TEST(FrameScannerTest, EveryWayOfCuttingTheStreamGivesTheSameFrames) {
  const TrickyStream s = Tricky();
  EXPECT_EQ(ScanInPieces(s.bytes, std::vector<size_t>(s.bytes.size(), 1)), s.frames) << "single bytes";
  EXPECT_EQ(ScanInPieces(s.bytes, {0, 0, 5, 0}), s.frames) << "empty pieces";
  // Two pieces, cut at every position: every marker and frame straddles a cut once.
  for (size_t cut = 0; cut <= s.bytes.size(); ++cut) {
    ASSERT_EQ(ScanInPieces(s.bytes, {cut}), s.frames) << "cut at " << cut;
  }
  std::mt19937 random(6);
  for (int round = 0; round < 500; ++round) {
    std::vector<size_t> sizes;
    const size_t largest = 1 + random() % 300;
    for (size_t total = 0; total < s.bytes.size(); total += sizes.back()) sizes.push_back(random() % (largest + 1));
    ASSERT_EQ(ScanInPieces(s.bytes, sizes), s.frames) << "round " << round;
  }
}

TEST(FrameScannerTest, ZeroBytesAreOrdinaryBytes) {
  // A frame of nothing but zeros, zeros right before a marker in the same piece, and a
  // stream that is zeros up to the first marker.
  const std::string zeros(kFrameBytes, '\0');
  const std::string stream = std::string(1000, '\0') + kMarker + zeros + std::string(7, '\0') + kMarker + Frame(9);
  EXPECT_EQ(ScanInPieces(stream, {}), (std::vector<std::string>{zeros, Frame(9)}));
  EXPECT_EQ(ScanInPieces(stream, {1000 + kMarker.size() + 100}), (std::vector<std::string>{zeros, Frame(9)}));
}

// Random streams built from the pieces that trouble a search (marker prefixes, the marker
// itself, line ends, zeros), scanned in random pieces, against the plain search.
TEST(FrameScannerTest, RandomStreamsInRandomPiecesMatchThePlainSearch) {
  const std::vector<std::string> words = {kMarker, kMarker.substr(0, 9), kMarker.substr(0, 16), kMarker.substr(0, 17),
                                          "\r\n", "\r\n\r\n", "a", "audio", std::string(3, '\0'), "x",
                                          std::string(kFrameBytes - 1, 'y'), "--myboundary\r\n"};
  std::mt19937 random(42);
  size_t frames_seen = 0;
  for (int round = 0; round < 300; ++round) {
    std::string stream;
    const int count = static_cast<int>(random() % 60);
    for (int i = 0; i < count; ++i) stream += words[random() % words.size()];
    std::vector<size_t> sizes;
    for (size_t total = 0; total < stream.size(); total += sizes.back()) sizes.push_back(1 + random() % 64);
    const auto expected = OracleFrames(stream);
    frames_seen += expected.size();
    ASSERT_EQ(ScanInPieces(stream, sizes), expected) << "round " << round;
  }
  EXPECT_GT(frames_seen, 100u);  // the streams did hold frames
}

}  // namespace
}  // namespace vantorel
