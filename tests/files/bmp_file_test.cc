#include "files/bmp_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantorel {
namespace {

// The 24-bit bottom-up file `vantorel-cli` has always written, from top-down 0xffRRGGBB rows:
// every header field, the bottom row first, blue, green, red, rows padded with zeros.
TEST(BmpFileTest, HeaderThenRowsBottomUpInBlueGreenRedPaddedWithZeros) {
  const std::vector<uint32_t> pixels = {0xff1e140a, 0xff3c3228, 0xff5a5046,   // top row
                                        0xff030201, 0xff060504, 0xff090807};  // bottom row
  const std::string expected = std::string("BM", 2) +
                               std::string("\x4e\0\0\0" "\0\0\0\0" "\x36\0\0\0", 12) +  // 78 bytes, offset 54
                               std::string("\x28\0\0\0" "\3\0\0\0" "\2\0\0\0" "\1\0" "\x18\0", 16) +
                               std::string("\0\0\0\0" "\x18\0\0\0", 8) + std::string(16, '\0') +  // 24 bytes of rows
                               std::string("\1\2\3\4\5\6\7\x8\x9\0\0\0", 12) +
                               std::string("\x0a\x14\x1e\x28\x32\x3c\x46\x50\x5a\0\0\0", 12);
  EXPECT_EQ(BmpFileBytes(3, 2, pixels), expected);

  const std::string odd = BmpFileBytes(321, 1, std::vector<uint32_t>(321, 0xffffffff));
  ASSERT_EQ(odd.size(), 54u + 964u);
  EXPECT_EQ(odd.substr(54 + 963), std::string(1, '\0'));  // the padding byte

  EXPECT_EQ(BmpFileBytes(2, 2, std::vector<uint32_t>(3)), "");  // sizes that do not match
  EXPECT_EQ(BmpFileBytes(0, 0, {}), "");
}

}  // namespace
}  // namespace vantorel
