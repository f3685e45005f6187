#include "image/current_image.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantorel {
namespace {

ImageBitmap Filled(int width, int height, uint32_t value) {
  return {width, height, std::vector<uint32_t>(static_cast<size_t>(width * height), value)};
}

// A swap hands the previous picture back whole, so that the next still is decoded into its
// storage: pictures change places, nothing is copied.
TEST(CurrentImageTest, SwapHandsBackThePreviousPictureCopyAndClear) {
  CurrentImage current;
  EXPECT_FALSE(current.Has());
  EXPECT_TRUE(current.Copy().empty());
  current.WithBitmap([](const ImageBitmap* image) { EXPECT_EQ(image, nullptr); });

  ImageBitmap next = Filled(3, 2, 7);
  const uint32_t* const first = next.pixels.data();
  current.Swap(next);
  EXPECT_TRUE(next.empty());
  next = Filled(5, 4, 9);
  const uint32_t* const second = next.pixels.data();
  current.Swap(next);
  EXPECT_EQ(next.width, 3);
  EXPECT_EQ(next.pixels.data(), first);

  const ImageBitmap copy = current.Copy();
  EXPECT_EQ(copy.width, 5);
  EXPECT_EQ(copy.height, 4);
  EXPECT_EQ(copy.pixels, std::vector<uint32_t>(20, 9));
  current.WithBitmap([&](const ImageBitmap* image) {
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixels.data(), second);
  });
  current.Clear();
  EXPECT_FALSE(current.Has());
  current.WithBitmap([](const ImageBitmap* image) { EXPECT_EQ(image, nullptr); });
}

}  // namespace
}  // namespace vantorel
