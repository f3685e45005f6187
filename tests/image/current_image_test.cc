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
  ReplaceCurrentImage(nullptr);
  EXPECT_FALSE(HasCurrentImage());
  EXPECT_FALSE(CopyCurrentImage());
  WithCurrentImage([](const ImageBitmap* image) { EXPECT_EQ(image, nullptr); });

  ReplaceCurrentImage(Filled(3, 2, 7));
  ReplaceCurrentImage(Filled(5, 4, 9));  // the first one is freed (ASan would tell)
  const ImageBitmapPtr copy = CopyCurrentImage();
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->header.width, 5);
  EXPECT_EQ(copy->TotalSize(), 40u + 16u * 4u);
  WithCurrentImage([&](const ImageBitmap* image) {
    ASSERT_NE(image, nullptr);
    EXPECT_NE(image, copy.get());
    EXPECT_EQ(std::memcmp(image, copy.get(), copy->TotalSize()), 0);
  });
  ReplaceCurrentImage(nullptr);
  EXPECT_FALSE(HasCurrentImage());
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
