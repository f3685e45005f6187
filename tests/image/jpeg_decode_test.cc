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
  uint32_t size = 1;
  std::string why;
  const ImageBitmapPtr bitmap = DecodeBytes(jpeg, size, &why);
  ASSERT_TRUE(bitmap) << why;
  EXPECT_EQ(size, bitmap->TotalSize());
  EXPECT_EQ(ComparePixels(*bitmap, DjpegBmp(jpeg, still.grey)), "");
}

INSTANTIATE_TEST_SUITE_P(Stills, DecodeLikeDjpegTest, ::testing::ValuesIn(kStills),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(DecodeJpegTest, HeaderAndRowLayout) {
  const std::string jpeg = CamsimStill(321, 7);
  uint32_t size = 0;
  const ImageBitmapPtr b = DecodeBytes(jpeg, size);
  ASSERT_TRUE(b);
  const ImageBitmapHeader& h = b->header;
  EXPECT_EQ(h.header_size, 40u);
  EXPECT_EQ(h.width, 321);
  EXPECT_EQ(h.height, 7);  // positive: bottom-up
  EXPECT_EQ(h.planes, 1);
  EXPECT_EQ(h.bits_per_pixel, 24);
  EXPECT_EQ(h.compression, 0u);
  EXPECT_EQ(b->Stride(), 964u);
  EXPECT_EQ(h.image_size, 964u * 7);
  EXPECT_EQ(size, 40u + 964u * 7);
  EXPECT_EQ(h.x_pixels_per_meter, 0);
  EXPECT_EQ(h.y_pixels_per_meter, 0);
  EXPECT_EQ(h.colors_used, 0u);
  EXPECT_EQ(h.colors_important, 0u);
  EXPECT_EQ(ImageColorCount(h), 0u);
  EXPECT_EQ(ImageDataSize(h), 964u * 7);

  uint32_t square = 0;
  ASSERT_TRUE(DecodeBytes(CamsimStill(320, 240), square));
  EXPECT_EQ(square, 40u + 960u * 240);
}

TEST(DecodeJpegTest, TopScanlineIsTheLastRowAndPixelsAreBlueGreenRed) {
  // Red on top, blue below, in a clean 4:4:4 still.
  const int w = 64, h = 32;
  std::vector<uint8_t> rgb(w * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &rgb[(y * w + x) * 3];
      p[0] = y < 16 ? 255 : 0;
      p[2] = y < 16 ? 0 : 255;
    }
  uint32_t size = 0;
  const ImageBitmapPtr b = DecodeBytes(EncodeJpeg(rgb.data(), w, h, JpegKind::kColour, {.quality = 100}), size);
  ASSERT_TRUE(b);
  const uint8_t* last_row = b->Pixels() + (h - 1) * b->Stride();
  const uint8_t* first_row = b->Pixels();
  EXPECT_LT(last_row[0], 40);   // blue byte of the top-left pixel
  EXPECT_GT(last_row[2], 215);  // red byte
  EXPECT_GT(first_row[0], 215);
  EXPECT_LT(first_row[2], 40);
}

TEST(DecodeJpegTest, GreyIsExpandedToThreeEqualComponents) {
  uint32_t size = 0;
  const ImageBitmapPtr b = DecodeBytes(CamsimStill(33, 20, JpegKind::kGrey), size);
  ASSERT_TRUE(b);
  for (int row = 0; row < 20; ++row) {
    const uint8_t* p = b->Pixels() + row * b->Stride();
    for (int x = 0; x < 33; ++x, p += 3) {
      ASSERT_EQ(p[0], p[1]);
      ASSERT_EQ(p[1], p[2]);
    }
  }
}

TEST(DecodeJpegTest, RefusedInputsGiveNullAndSizeZero) {
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
    uint32_t size = 123;
    std::string why;
    EXPECT_FALSE(DecodeBytes(c.bytes, size, &why)) << c.name;
    EXPECT_EQ(size, 0u) << c.name;
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
      {65000, 65000, false},  // 12.7 GB: more than a 32-bit size field holds
      {65500, 65500, false},
      {8192, 2731, false},    // 40 + 24576 x 2731 = 67,117,096 bytes
      {8192, 2730, true},     // 40 + 24576 x 2730 = 67,092,520 bytes
  };
  for (const auto& c : cases) {
    uint32_t size = 0;
    std::string why;
    const ImageBitmapPtr b = DecodeBytes(ClaimSize(small, c.w, c.h), size, &why);
    EXPECT_EQ(b != nullptr, c.fits) << c.w << "x" << c.h << ": " << why;
    if (b) {
      EXPECT_EQ(size, 40u + 24576u * 2730u);  // the rest filled as after a premature end
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
    uint32_t size = 0;
    std::string why;
    const ImageBitmapPtr b = DecodeBytes(part, size, &why);
    ASSERT_TRUE(b) << cut << ": " << why;
    EXPECT_EQ(size, 40u + 960u * 240u);
    EXPECT_EQ(ComparePixels(*b, DjpegBmp(part, false)), "") << "cut at " << cut;
  }
  uint32_t size = 0;  // cut inside the header: nothing to show
  EXPECT_FALSE(DecodeBytes(jpeg.substr(0, scan - 10), size));
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
  uint32_t size = 0;
  const ImageBitmapPtr b = DecodeBytes(ok, size);
  ASSERT_TRUE(b);
  EXPECT_EQ(ComparePixels(*b, DjpegBmp(ok, true)), "");

  EXPECT_TRUE(DecodeBytes(RepeatFirstScan(ok, kMaxJpegScans), size));
  std::string why;
  EXPECT_FALSE(DecodeBytes(RepeatFirstScan(ok, kMaxJpegScans + 1), size, &why));
  EXPECT_NE(why.find("scans"), std::string::npos) << why;
}

}  // namespace
}  // namespace vantorel
