#include "camsim/talk_body.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace vantorel::camsim {
namespace {

const std::string kOpening =
    "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=myboundary\r\n\r\n--myboundary\r\n";
const std::string kPartHead = "Content-Type: audio/32KADPCM\r\n\r\n";
const std::string kSeparator = "\r\n--myboundary\r\n";

std::string Codes(int n) { return std::string(200, static_cast<char>('A' + n % 26)); }
std::string Part(int n) { return kPartHead + Codes(n) + kSeparator; }

struct Result {
  std::vector<std::string> parts;
  int errors;
  std::string first_error;
  uint64_t bytes;
};

// Feeds `body` in pieces of the given sizes (cycled); 0 means all at once.
Result Parse(const std::string& body, std::vector<size_t> pieces = {0}) {
  Result r;
  TalkBodyParser parser([&](const uint8_t* codes, size_t size) {
    r.parts.emplace_back(reinterpret_cast<const char*>(codes), size);
  });
  const auto* data = reinterpret_cast<const uint8_t*>(body.data());
  for (size_t at = 0, i = 0; at < body.size(); ++i) {
    const size_t want = pieces[i % pieces.size()];
    const size_t n = want == 0 ? body.size() - at : std::min(want, body.size() - at);
    parser.Feed(data + at, n);
    at += n;
  }
  r.errors = parser.layout_errors();
  r.first_error = parser.first_error();
  r.bytes = parser.bytes();
  return r;
}

TEST(TalkBodyTest, AWellFormedBodyGivesEveryPartHoweverItIsSplit) {
  std::string body = kOpening;
  std::vector<std::string> codes;
  for (int n = 0; n < 30; ++n) {
    body += Part(n);
    codes.push_back(Codes(n));
  }
  std::mt19937 random(3);
  std::vector<size_t> random_pieces;
  for (int i = 0; i < 50; ++i) random_pieces.push_back(1 + random() % 300);
  for (const auto& pieces : {std::vector<size_t>{0}, std::vector<size_t>{1}, std::vector<size_t>{248},
                             std::vector<size_t>{4096}, random_pieces}) {
    const Result r = Parse(body, pieces);
    EXPECT_EQ(r.parts, codes) << "first piece " << pieces[0];
    EXPECT_EQ(r.errors, 0) << r.first_error;
    EXPECT_EQ(r.bytes, body.size());
  }
  // Codes that look like the layout's own text are still codes.
  const std::string tricky = std::string("\r\n--myboundary\r\n") + std::string(184, '\n');
  EXPECT_EQ(Parse(kOpening + kPartHead + tricky + kSeparator).parts, std::vector<std::string>{tricky});

  // The talk never closes its body; a closing boundary is understood all the same.
  const std::string end = kOpening + kPartHead + Codes(0) + "\r\n--myboundary--\r\n";
  TalkBodyParser closing;
  closing.Feed(reinterpret_cast<const uint8_t*>(end.data()), end.size());
  EXPECT_TRUE(closing.closed());
  EXPECT_EQ(closing.parts(), 1);
  EXPECT_EQ(closing.layout_errors(), 0);
}

TEST(TalkBodyTest, TheBodyMayNameItsOwnBoundary) {
  const std::string body = "HTTP/1.0 200 OK\r\nX-Other: 1\r\ncontent-type: Multipart/X-Mixed-Replace; boundary=\"B42\"\r\n"
                           "\r\n--B42\r\nContent-Type: audio/32KADPCM\r\n\r\n" +
                           Codes(0) + "\r\n--B42\r\n";
  TalkBodyParser parser;
  parser.Feed(reinterpret_cast<const uint8_t*>(body.data()), body.size());
  EXPECT_EQ(parser.parts(), 1);
  EXPECT_EQ(parser.layout_errors(), 0) << parser.first_error();
  EXPECT_EQ(parser.boundary(), "B42");
}

// Each fault counts, is described, and costs no more than the parts it spoils.
TEST(TalkBodyTest, LayoutErrorsAreCountedAndTheNextPartIsFound) {
  struct Case {
    const char* what;
    std::string body;
    int parts;
    int errors;
    const char* first_error;
  };
  const std::string two = Part(1) + Part(2);
  const Case cases[] = {
      {"status line", "HTTP/1.1 200 OK\r\n" + kOpening.substr(17) + two, 2, 1, "the status line is \"HTTP/1.1 200 OK\""},
      {"body type", "HTTP/1.0 200 OK\r\nContent-Type: text/plain;boundary=myboundary\r\n\r\n--myboundary\r\n" + two, 2,
       1, "the body's type is"},
      {"no boundary", "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace\r\n\r\n--myboundary\r\n" + two, 2, 1,
       "no usable boundary"},
      {"no content type", "HTTP/1.0 200 OK\r\n\r\n--myboundary\r\n" + two, 2, 1, "names no Content-Type"},
      {"part type", kOpening + "Content-Type: audio/G711\r\n\r\n" + Codes(0) + kSeparator + two, 2, 1,
       "a part of type \"audio/G711\""},
      {"part without type", kOpening + "\r\n" + Codes(0) + kSeparator + two, 2, 1, "a part without a Content-Type"},
      {"long part", kOpening + kPartHead + Codes(0) + "xy" + kSeparator + two, 3, 1, "runs on past 200 bytes"},
      // 199 bytes: the separator's CR completes the part, and its bare LF is the error.
      {"short part", kOpening + kPartHead + Codes(0).substr(1) + kSeparator + two, 3, 1, "a line ends without CR"},
      {"bad separator", kOpening + kPartHead + Codes(0) + "\r\n--other\r\n" + two, 2, 1, "is not followed by"},
      {"bare line feed", "HTTP/1.0 200 OK\nrest\r\n" + kSeparator + two, 2, 1, "without CR"},
      {"first boundary", "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=myboundary\r\n\r\n" + two,
       1, 1, "does not open with"},
      {"endless line", "HTTP/1.0 200 OK\r\n" + std::string(5000, 'x') + kSeparator + two, 2, 1, "longer than 1000"},
      {"header without colon", "HTTP/1.0 200 OK\r\nnonsense\r\n" + kOpening.substr(17) + two, 2, 1, "without a colon"},
  };
  for (const Case& c : cases) {
    for (const auto& pieces : {std::vector<size_t>{0}, std::vector<size_t>{1}, std::vector<size_t>{7, 300}}) {
      const Result r = Parse(c.body, pieces);
      EXPECT_EQ(static_cast<int>(r.parts.size()), c.parts) << c.what;
      EXPECT_EQ(r.errors, c.errors) << c.what << ": " << r.first_error;
      EXPECT_NE(r.first_error.find(c.first_error), std::string::npos) << c.what << ": " << r.first_error;
      EXPECT_EQ(r.bytes, c.body.size());
    }
  }
  // Garbage without a single boundary: errors, no parts, nothing kept.
  std::mt19937 random(5);
  std::string noise(200000, '\0');
  for (auto& ch : noise) ch = static_cast<char>(random());
  const Result r = Parse(noise, {1000});
  EXPECT_TRUE(r.parts.empty());
  EXPECT_GE(r.errors, 1);
}

}  // namespace
}  // namespace vantorel::camsim
