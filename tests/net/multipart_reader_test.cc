// The multipart reader on what cameras really send: one table, each stream fed whole, byte by
// byte and in uneven pieces, which must all give the same parts.

#include "net/multipart_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace vantorel {
namespace {

struct Part {
  std::string type;
  std::string body;
  bool operator==(const Part&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Part& p) { return out << p.type << " [" << p.body.size() << "]"; }

std::vector<Part> Read(const std::string& content_type, const std::string& stream, const std::vector<size_t>& cuts,
                       MultipartLimits limits, uint64_t* dropped = nullptr) {
  MultipartReader reader(BoundaryFromContentType(content_type), limits, [](std::string_view type) {
    return type == "audio/32kadpcm" ? std::optional<size_t>(200) : std::nullopt;
  });
  std::vector<Part> parts;
  const auto take = [&](const MultipartPart& p) {
    parts.push_back({std::string(p.content_type), std::string(reinterpret_cast<const char*>(p.body.data()), p.body.size())});
  };
  size_t at = 0;
  for (size_t cut : cuts) {
    cut = std::min(cut, stream.size());
    if (cut > at) reader.Feed(std::span(reinterpret_cast<const uint8_t*>(stream.data()) + at, cut - at), take);
    at = std::max(at, cut);
  }
  reader.Feed(std::span(reinterpret_cast<const uint8_t*>(stream.data()) + at, stream.size() - at), take);
  if (dropped) *dropped = reader.dropped_parts();
  return parts;
}

std::string Bytes(size_t n, int seed) {
  std::mt19937 random(static_cast<uint32_t>(seed));
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(random());
  return s;
}

TEST(MultipartReaderTest, EveryLayoutCamerasSendGivesItsParts) {
  const std::string adpcm1 = Bytes(200, 1), adpcm2 = Bytes(200, 2), g726 = Bytes(256, 3), jpeg = Bytes(5000, 4);
  struct Case {
    const char* name;
    std::string content_type;
    std::string stream;
    std::vector<Part> parts;
    uint64_t dropped = 0;
  };
  const Case cases[] = {
      {"the design's sound: type last, no length, 200 bytes, junk between parts",
       "multipart/x-mixed-replace;boundary=myboundary",
       "--myboundary\r\nContent-Type: audio/32KADPCM\r\n\r\n" + adpcm1 + std::string("\r\nContent-Type: junk\r\n\0\0--my", 28) +
           "\r\n--myboundary\r\nContent-Type: audio/32KADPCM\r\n\r\n" + adpcm2 + "\r\n",
       {{"audio/32kadpcm", adpcm1}, {"audio/32kadpcm", adpcm2}}},
      {"Content-Length after Content-Type, a quoted boundary with its --",
       "multipart/x-mixed-replace; boundary=\"--ioboundary\"",
       "--ioboundary\r\nContent-Type: audio/G726-32\r\nContent-Length: 256\r\n\r\n" + g726 + "\r\n--ioboundary\r\n" +
           "content-length: 3\r\nCONTENT-TYPE: Audio/Basic; rate=8000\r\n\r\nabc\r\n",
       {{"audio/g726-32", g726}, {"audio/basic", "abc"}}},
      {"no Content-Length: a part ends at the next delimiter, CRLF before it or not",
       "multipart/x-mixed-replace;boundary=myboundary",
       "junk before the first boundary\r\n--myboundary\r\nContent-Type: image/jpeg\r\n\r\n" + jpeg +
           "\r\n--myboundary\r\nContent-Type: text/plain\r\n\r\n1I:/--myboundary\r\nContent-Type: text/plain\r\n\r\n\r\n"
           "--myboundary--\r\n",
       {{"image/jpeg", jpeg}, {"text/plain", "1I:/"}, {"text/plain", ""}}},
      {"no first delimiter: the body opens with a part's headers",
       "multipart/x-mixed-replace;boundary=myboundary",
       "Content-Type: image/jpeg\r\nContent-Length: 5000\r\n\r\n" + jpeg + "\r\n--myboundary\r\nContent-Type: "
           "image/jpeg\r\n\r\nxyz\r\n--myboundary\r\n",
       {{"image/jpeg", jpeg}, {"image/jpeg", "xyz"}}},
      {"a boundary the header does not name is learnt from the body; LF line ends",
       "multipart/x-mixed-replace",
       "--other\nContent-Type: text/plain\n\nIO1:/\n--other\nContent-Type: text/plain\n\nIO1:\\\n--other\n",
       {{"text/plain", "IO1:/"}, {"text/plain", "IO1:\\"}}},
      {"a picture stream: the header's boundary with its --, unquoted; a length is honoured where the "
       "picture's bytes hold the delimiter",
       "multipart/x-mixed-replace; boundary=--myboundary",
       "\r\n--myboundary\r\nContent-Type: image/jpeg\r\nContent-Length: 5016\r\n\r\n" + jpeg.substr(0, 2500) +
           "\r\n--myboundary\r\n" + jpeg.substr(2500) + "\r\n--myboundary\r\nContent-Type: image/jpeg\r\n"
           "Content-Length: 4\r\n\r\n\xff\xd8\xff\xd9\r\n",
       {{"image/jpeg", jpeg.substr(0, 2500) + "\r\n--myboundary\r\n" + jpeg.substr(2500)}, {"image/jpeg", "\xff\xd8\xff\xd9"}}},
      {"a part over the limit is dropped whole, announced or not; so are endless headers",
       "multipart/x-mixed-replace;boundary=b",
       "--b\r\nContent-Type: image/jpeg\r\nContent-Length: 999999999\r\n\r\n" + jpeg + "\r\n--b\r\nContent-Type: "
           "image/jpeg\r\n\r\n" + jpeg + jpeg + "\r\n--b\r\n" + std::string(9000, 'X') + "\r\n\r\n--b\r\n"
           "Content-Type: text/plain\r\n\r\nok\r\n--b\r\n",
       {{"text/plain", "ok"}},
       3},
  };
  const MultipartLimits limits{.max_header_bytes = 8192, .max_part_bytes = 6000};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint64_t dropped = 0;
    EXPECT_EQ(Read(c.content_type, c.stream, {}, limits, &dropped), c.parts);
    EXPECT_EQ(dropped, c.dropped);
    std::vector<size_t> every_byte(c.stream.size());
    for (size_t i = 0; i < every_byte.size(); ++i) every_byte[i] = i;
    EXPECT_EQ(Read(c.content_type, c.stream, every_byte, limits), c.parts);
    std::mt19937 random(7);
    std::vector<size_t> uneven;
    for (size_t at = 0; at < c.stream.size(); at += 1 + random() % 300) uneven.push_back(at);
    EXPECT_EQ(Read(c.content_type, c.stream, uneven, limits), c.parts);
  }
}

}  // namespace
}  // namespace vantorel
