#include "image/current_image.h"

#include <gtest/gtest.h>

#include <cstring>

#include "image/bmp_file.h"
#include "image/image_bitmap.h"

namespace vantorel {
namespace {

ImageBitmapPtr Filled(uint32_t width, uint32_t height, uint8_t value) {
  ImageBitmapPtr b(AllocateImageBitmap(width, height));
  std::memset(b->Pixels(), value, b->header.image_size);
  return b;
}

TEST(CurrentImageTest, ReplaceCopyAndClear) {
  CurrentImage current;
  EXPECT_FALSE(current.Has());
  EXPECT_FALSE(current.Copy());
  current.WithBitmap([](const ImageBitmap* image) { EXPECT_EQ(image, nullptr); });
  current.WithDisplayFrame([](const DisplayFrame* frame) { EXPECT_EQ(frame, nullptr); });

  current.Replace(Filled(3, 2, 7));
  current.Replace(Filled(5, 4, 9));  // the first one is freed (ASan would tell)
  const ImageBitmapPtr copy = current.Copy();
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->header.width, 5);
  EXPECT_EQ(copy->TotalSize(), 40u + 16u * 4u);
  current.WithBitmap([&](const ImageBitmap* image) {
    ASSERT_NE(image, nullptr);
    EXPECT_NE(image, copy.get());
    EXPECT_EQ(std::memcmp(image, copy.get(), copy->TotalSize()), 0);
  });
  current.Replace(nullptr);
  EXPECT_FALSE(current.Has());
  current.WithDisplayFrame([](const DisplayFrame* frame) { EXPECT_EQ(frame, nullptr); });
}

// The window's form: top-down rows (the bitmap keeps its bottom row first), 0xffRRGGBB
// from the bitmap's blue, green, red bytes, row padding left out.
TEST(CurrentImageTest, TheDisplayFormIsTheBitmapTopDownIn32BitRgb) {
  ImageBitmapPtr bitmap(AllocateImageBitmap(3, 2));  // 9 bytes of pixels, 3 of padding a row
  uint8_t* rows = bitmap->Pixels();
  const uint8_t bottom[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  const uint8_t top[9] = {10, 20, 30, 40, 50, 60, 70, 80, 90};
  std::memcpy(rows, bottom, 9);
  std::memcpy(rows + 12, top, 9);
  const DisplayFrame frame = ToDisplayFrame(*bitmap);
  ASSERT_EQ(frame.width, 3);
  ASSERT_EQ(frame.height, 2);
  EXPECT_EQ(frame.pixels, (std::vector<uint32_t>{0xff1e140a, 0xff3c3228, 0xff5a5046,  //
                                                 0xff030201, 0xff060504, 0xff090807}));

  // Rows converted four pixels at a time with a tail, into reused storage of another size.
  ImageBitmapPtr wide(AllocateImageBitmap(7, 1));
  for (int i = 0; i < 21; ++i) wide->Pixels()[i] = static_cast<uint8_t>(i + 1);
  const DisplayFrame converted = ToDisplayFrame(*wide, std::vector<uint32_t>(100, 0xdeadbeef));
  std::vector<uint32_t> expected;
  for (uint32_t x = 0; x < 7; ++x) expected.push_back(0xff000000u | ((3 * x + 3) << 16) | ((3 * x + 2) << 8) | (3 * x + 1));
  EXPECT_EQ(converted.pixels, expected);
}

TEST(ImageBitmapTest, SizesAndRefusals) {
  EXPECT_EQ(ImageRowStride(320), 960u);
  EXPECT_EQ(ImageRowStride(321), 964u);
  EXPECT_EQ(ImageRowStride(1), 4u);
  EXPECT_EQ(ImageBitmapBytes(65500, 65500), 40ull + 196500ull * 65500ull);  // no 32-bit wrap
  EXPECT_EQ(AllocateImageBitmap(0, 10), nullptr);
  EXPECT_EQ(AllocateImageBitmap(10, 0), nullptr);
  EXPECT_EQ(AllocateImageBitmap(65500, 65500), nullptr);

  const ImageBitmapPtr odd(AllocateImageBitmap(321, 3));  // one padding byte per row
  ASSERT_TRUE(odd);
  for (int row = 0; row < 3; ++row) EXPECT_EQ(odd->Pixels()[row * 964 + 963], 0) << row;
}

TEST(ImageBitmapTest, ColourCountAndDataSizeFromTheHeader) {
  ImageBitmapHeader h{};
  h.image_size = 1234;
  const struct {
    uint16_t bits;
    uint32_t used, expected;
  } cases[] = {{1, 0, 2}, {4, 0, 16}, {8, 0, 256}, {24, 0, 0}, {16, 0, 0}, {8, 12, 12}, {24, 3, 3}};
  for (const auto& c : cases) {
    h.bits_per_pixel = c.bits;
    h.colors_used = c.used;
    EXPECT_EQ(ImageColorCount(h), c.expected) << c.bits << "/" << c.used;
  }
  EXPECT_EQ(ImageDataSize(h), 1234u);
}

TEST(BmpFileTest, FileHeaderThenTheBitmapUnchanged) {
  const ImageBitmapPtr b = Filled(3, 2, 0x5A);
  const std::string file = BmpFileBytes(*b);
  ASSERT_EQ(file.size(), 14u + 40u + 24u);
  EXPECT_EQ(file.substr(0, 2), "BM");
  uint32_t total, offset;
  std::memcpy(&total, file.data() + 2, 4);
  std::memcpy(&offset, file.data() + 10, 4);
  EXPECT_EQ(total, file.size());
  EXPECT_EQ(offset, 54u);
  EXPECT_EQ(std::memcmp(file.data() + 14, b.get(), b->TotalSize()), 0);
}

}  // namespace
}  // namespace vantorel
