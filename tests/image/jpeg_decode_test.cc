#include "image/jpeg_decode.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <functional>

#include "camsim/jpeg_encode.h"
#include "test_support.h"

namespace vantorel {
namespace {

using camsim::EncodeJpeg;
using camsim::JpegKind;
using test::ComparePixels;
using test::DecodeBytes;
using test::DjpegBmp;
using test::EncodeWithCjpeg;
using test::EncodeWithLibavcodec;

struct Still {
  const char* name;
  std::function<std::string()> make;
  bool grey = false;
};

std::string CamsimStill(int width, int height, JpegKind kind = JpegKind::kColour) {
  const auto rgb = test::TestPicture(width, height);
  const auto grey = test::GreyPicture(width, height);
  return EncodeJpeg(kind == JpegKind::kGrey ? grey.data() : rgb.data(), width, height, kind);
}

// Stills from three encoders in the shapes cameras and other programs produce.
const Still kStills[] = {
    {"camera_320x240", [] { return CamsimStill(320, 240); }},
    {"lavc_420_320x240", [] { return EncodeWithLibavcodec(320, 240, 420); }},
    {"lavc_422_odd_321x240", [] { return EncodeWithLibavcodec(321, 240, 422); }},
    {"lavc_444_640x480", [] { return EncodeWithLibavcodec(640, 480, 444); }},
    {"lavc_420_17x9", [] { return EncodeWithLibavcodec(17, 9, 420); }},
    {"cjpeg_default_321x241", [] { return EncodeWithCjpeg(321, 241, ""); }},
    {"cjpeg_444", [] { return EncodeWithCjpeg(320, 240, "-sample 1x1"); }},
    {"cjpeg_422", [] { return EncodeWithCjpeg(320, 240, "-sample 2x1"); }},
    {"cjpeg_440", [] { return EncodeWithCjpeg(320, 240, "-sample 1x2"); }},
    {"cjpeg_progressive", [] { return EncodeWithCjpeg(333, 250, "-progressive"); }},
    {"cjpeg_arithmetic", [] { return EncodeWithCjpeg(320, 240, "-arithmetic"); }},
    {"cjpeg_restarts", [] { return EncodeWithCjpeg(320, 240, "-restart 1B"); }},
    {"cjpeg_optimized_q100", [] { return EncodeWithCjpeg(320, 240, "-optimize -quality 100"); }},
    {"cjpeg_1x1", [] { return EncodeWithCjpeg(1, 1, ""); }},
    {"cjpeg_tall_3x700", [] { return EncodeWithCjpeg(3, 700, ""); }},
    {"cjpeg_grey_from_colour", [] { return EncodeWithCjpeg(320, 240, "-grayscale"); }, true},
    {"cjpeg_grey_321x240", [] { return EncodeWithCjpeg(321, 240, "", true); }, true},
    {"camera_grey", [] { return CamsimStill(160, 120, JpegKind::kGrey); }, true},
};

class DecodeLikeDjpegTest : public ::testing::TestWithParam<Still> {};

TEST_P(DecodeLikeDjpegTest, EveryRowMatchesTheReferenceDecoder) {
  const Still& still = GetParam();
  const std::string jpeg = still.make();
  ASSERT_GT(jpeg.size(), 100u);
  ImageBitmap picture;
  std::string why;
  ASSERT_TRUE(DecodeBytes(jpeg, picture, &why)) << why;
  EXPECT_EQ(ComparePixels(picture, DjpegBmp(jpeg, still.grey)), "");
}

INSTANTIATE_TEST_SUITE_P(Stills, DecodeLikeDjpegTest, ::testing::ValuesIn(kStills),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// Stills of one size, or smaller, are decoded into the storage of the picture before: no
// allocation per still.
TEST(DecodeJpegTest, SizesAndStorageReusedFromStillToStill) {
  ImageBitmap picture;
  ASSERT_TRUE(DecodeBytes(CamsimStill(321, 7), picture));
  EXPECT_EQ(picture.width, 321);
  EXPECT_EQ(picture.height, 7);
  EXPECT_EQ(picture.pixels.size(), 321u * 7u);

  ASSERT_TRUE(DecodeBytes(CamsimStill(320, 240), picture));
  const uint32_t* const storage = picture.pixels.data();
  for (const auto& [w, h] : {std::pair{320, 240}, std::pair{160, 120}, std::pair{320, 240}}) {
    ASSERT_TRUE(DecodeBytes(CamsimStill(w, h), picture));
    EXPECT_EQ(picture.pixels.size(), static_cast<size_t>(w * h));
    EXPECT_EQ(picture.pixels.data(), storage) << w << "x" << h;
  }
}

TEST(DecodeJpegTest, TopScanlineIsTheFirstRowAndPixelsAre0xffRRGGBB) {
  // Red on top, blue below, in a clean 4:4:4 still.
  const int w = 64, h = 32;
  std::vector<uint8_t> rgb(w * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &rgb[(y * w + x) * 3];
      p[0] = y < 16 ? 255 : 0;
      p[2] = y < 16 ? 0 : 255;
    }
  ImageBitmap picture;
  ASSERT_TRUE(DecodeBytes(EncodeJpeg(rgb.data(), w, h, JpegKind::kColour, {.quality = 100}), picture));
  const uint32_t top_left = picture.Row(0)[0], bottom_left = picture.Row(h - 1)[0];
  EXPECT_EQ(top_left >> 24, 0xffu);
  EXPECT_GT((top_left >> 16) & 0xff, 215u);  // red
  EXPECT_LT(top_left & 0xff, 40u);           // blue
  EXPECT_LT((bottom_left >> 16) & 0xff, 40u);
  EXPECT_GT(bottom_left & 0xff, 215u);
}

TEST(DecodeJpegTest, GreyIsExpandedToThreeEqualComponents) {
  ImageBitmap picture;
  ASSERT_TRUE(DecodeBytes(CamsimStill(33, 20, JpegKind::kGrey), picture));
  for (const uint32_t p : picture.pixels) {
    ASSERT_EQ(p >> 24, 0xffu);
    ASSERT_EQ((p >> 16) & 0xff, (p >> 8) & 0xff);
    ASSERT_EQ((p >> 8) & 0xff, p & 0xff);
  }
}

TEST(DecodeJpegTest, RefusedInputsLeaveThePictureEmpty) {
  const std::vector<uint8_t> cmyk(16 * 16 * 4, 100);
  const struct {
    const char* name;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"empty", "", "Empty input file"},
      {"html", "<html><body><h1>404 Not Found</h1></body></html>", "Not a JPEG file"},
      {"cmyk", EncodeJpeg(cmyk.data(), 16, 16, JpegKind::kCmyk), "neither grey nor colour"},
      {"markers only", std::string("\xFF\xD8\xFF\xD9", 4), ""},
      {"one byte", std::string("\xFF", 1), ""},
  };
  for (const auto& c : cases) {
    ImageBitmap picture;  // holding an earlier still: none may seem to remain
    ASSERT_TRUE(DecodeBytes(CamsimStill(16, 16), picture));
    std::string why;
    EXPECT_FALSE(DecodeBytes(c.bytes, picture, &why)) << c.name;
    EXPECT_TRUE(picture.empty()) << c.name;
    EXPECT_NE(why.find(c.reason), std::string::npos) << c.name << ": " << why;
  }
}

// The frame header's height and width, rewritten.
std::string ClaimSize(std::string jpeg, uint16_t width, uint16_t height) {
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    const auto marker = static_cast<uint8_t>(jpeg[i + 1]);
    if (static_cast<uint8_t>(jpeg[i]) == 0xFF && marker >= 0xC0 && marker <= 0xC2) {
      jpeg[i + 5] = static_cast<char>(height >> 8);
      jpeg[i + 6] = static_cast<char>(height);
      jpeg[i + 7] = static_cast<char>(width >> 8);
      jpeg[i + 8] = static_cast<char>(width);
      break;
    }
  }
  return jpeg;
}

TEST(DecodeJpegTest, StillsAbove64MiBAreRefusedFromTheHeader) {
  const std::string small = CamsimStill(16, 16);
  struct {
    uint16_t w, h;
    bool fits;
  } cases[] = {
      {65000, 65000, false},  // 16.9 GB: more than a 32-bit size holds
      {65500, 65500, false},
      {8192, 2049, false},    // 32768 x 2049 = 67,141,632 bytes
      {8192, 2048, true},     // 32768 x 2048 = 67,108,864 bytes, 64 MiB
  };
  for (const auto& c : cases) {
    ImageBitmap picture;
    std::string why;
    const bool decoded = DecodeBytes(ClaimSize(small, c.w, c.h), picture, &why);
    EXPECT_EQ(decoded, c.fits) << c.w << "x" << c.h << ": " << why;
    if (decoded) {
      EXPECT_EQ(picture.pixels.size(), 8192u * 2048u);  // the rest filled as after a premature end
    } else {
      EXPECT_NE(why.find("pixels would need"), std::string::npos) << why;
    }
  }
}

TEST(DecodeJpegTest, ACutStillDecodesToFullSizeLikeDjpeg) {
  const std::string jpeg = EncodeWithLibavcodec(320, 240, 420);
  size_t scan = jpeg.find("\xFF\xDA");
  ASSERT_NE(scan, std::string::npos);
  for (const size_t cut : {scan + 20, jpeg.size() / 2, jpeg.size() - 2}) {
    const std::string part = jpeg.substr(0, cut);
    ImageBitmap picture;
    std::string why;
    ASSERT_TRUE(DecodeBytes(part, picture, &why)) << cut << ": " << why;
    EXPECT_EQ(ComparePixels(picture, DjpegBmp(part, false)), "") << "cut at " << cut;
  }
  ImageBitmap picture;  // cut inside the header: nothing to show
  EXPECT_FALSE(DecodeBytes(jpeg.substr(0, scan - 10), picture));
}

// A progressive grey still with one DC scan and one scan per AC coefficient (64 scans).
std::string SixtyFourScans() {
  test::ScratchDir dir;
  std::string script = "0: 0 0 0 0;\n";
  for (int k = 1; k <= 63; ++k) script += "0: " + std::to_string(k) + " " + std::to_string(k) + " 0 0;\n";
  test::WriteBytes(dir.File("scans.txt"), script);
  test::WriteBytes(dir.File("in.jpg"), CamsimStill(48, 32, JpegKind::kGrey));
  const std::string out = dir.File("out.jpg");
  const std::string command = std::string(VANTOREL_JPEGTRAN) + " -scans " + dir.File("scans.txt") +
                              " -outfile " + out + " " + dir.File("in.jpg");
  EXPECT_EQ(std::system(command.c_str()), 0);
  return test::ReadBytes(out);
}

// The same still with its first scan repeated `copies` times (each repeat only warns).
std::string RepeatFirstScan(const std::string& jpeg, int copies) {
  const size_t sos = jpeg.find("\xFF\xDA");
  size_t end = sos + 2;
  while (end + 1 < jpeg.size()) {  // the next marker that is not stuffing or a restart
    const auto next = static_cast<uint8_t>(jpeg[end + 1]);
    if (static_cast<uint8_t>(jpeg[end]) == 0xFF && next != 0 && (next < 0xD0 || next > 0xD7)) break;
    ++end;
  }
  std::string out = jpeg.substr(0, sos);
  for (int i = 0; i < copies; ++i) out += jpeg.substr(sos, end - sos);
  return out + "\xFF\xD9";
}

TEST(DecodeJpegTest, ProgressiveScansAreLimited) {
  const std::string ok = SixtyFourScans();
  ImageBitmap picture;
  ASSERT_TRUE(DecodeBytes(ok, picture));
  EXPECT_EQ(ComparePixels(picture, DjpegBmp(ok, true)), "");

  EXPECT_TRUE(DecodeBytes(RepeatFirstScan(ok, kMaxJpegScans), picture));
  std::string why;
  EXPECT_FALSE(DecodeBytes(RepeatFirstScan(ok, kMaxJpegScans + 1), picture, &why));
  EXPECT_NE(why.find("scans"), std::string::npos) << why;
}

}  // namespace
}  // namespace vantorel
