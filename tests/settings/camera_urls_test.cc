#include "settings/camera_settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vantorel {
namespace {

class CameraUrlsTest : public ::testing::Test {
 protected:
  CameraSettings settings_;
};

TEST_F(CameraUrlsTest, DefaultsAreBuiltFromTheFactoryAddress) {
  EXPECT_EQ(settings_.GetImageUrl(), "http://192.168.0.90/axis-cgi/jpg/image.cgi?resolution=320x240");
  EXPECT_EQ(settings_.GetReceiveUrl(), "http://192.168.0.90/axis-cgi/audio/receive.cgi");
  EXPECT_EQ(settings_.GetTransmitUrl(), "http://192.168.0.90/axis-cgi/audio/transmit.cgi");
}

TEST(DottedAddressTest, GroupsLoseLeadingZerosButKeepInnerOnes) {
  EXPECT_EQ(DottedAddress("172016005009"), "172.16.5.9");
  EXPECT_EQ(DottedAddress("010000000001"), "10.0.0.1");
  EXPECT_EQ(DottedAddress("000000000000"), "0.0.0.0");
  EXPECT_EQ(DottedAddress("100200030004"), "100.200.30.4");
  EXPECT_EQ(DottedAddress("999999999999"), "999.999.999.999");  // no range check
  EXPECT_EQ(DottedAddress("127000000001"), "127.0.0.1");
}

TEST_F(CameraUrlsTest, AddressReplacesAllThreeUrls) {
  EXPECT_TRUE(settings_.SetUrlsFromAddress("172016005009"));
  EXPECT_EQ(settings_.GetImageUrl(), "http://172.16.5.9/axis-cgi/jpg/image.cgi?resolution=320x240");
  EXPECT_EQ(settings_.GetReceiveUrl(), "http://172.16.5.9/axis-cgi/audio/receive.cgi");
  EXPECT_EQ(settings_.GetTransmitUrl(), "http://172.16.5.9/axis-cgi/audio/transmit.cgi");
}

TEST_F(CameraUrlsTest, OnlyTheFirstTwelveCharactersCount) {
  EXPECT_TRUE(settings_.SetUrlsFromAddress("127000000001xyz 55"));
  EXPECT_EQ(settings_.GetImageUrl(), "http://127.0.0.1/axis-cgi/jpg/image.cgi?resolution=320x240");
}

TEST_F(CameraUrlsTest, RejectedAddressesChangeNothing) {
  settings_.SetCameraUrls({"a", "b", "c"});
  for (const char* bad : {"", "17201600500", "17201600500a", "1720160050x9", " 172016005009",
                          "/Q", "１７２016005009"}) {
    EXPECT_FALSE(settings_.SetUrlsFromAddress(bad)) << bad;
  }
  EXPECT_EQ(settings_.GetCameraUrls(), (CameraUrls{"a", "b", "c"}));
}

TEST_F(CameraUrlsTest, SlotsHoldAtMost1023CharactersWithoutSplittingOne) {
  settings_.SetImageUrl(std::string(2000, 'x'));
  EXPECT_EQ(settings_.GetImageUrl().size(), 1023u);
  // 1022 ASCII characters then a three-byte character: all 1023 characters fit.
  const std::string euro = "\xE2\x82\xAC";
  settings_.SetReceiveUrl(std::string(1022, 'x') + euro + euro);
  EXPECT_EQ(settings_.GetReceiveUrl(), std::string(1022, 'x') + euro);
  EXPECT_EQ(CutToChars("a" + euro + "b", 2), "a" + euro);
  EXPECT_EQ(CutToChars("ab", 5), "ab");
}

TEST_F(CameraUrlsTest, ReadersNeverSeeATornUrl) {
  const CameraUrls one{std::string(1000, 'a'), std::string(1000, 'b'), std::string(1000, 'c')};
  const CameraUrls two{std::string(500, 'x'), std::string(700, 'y'), std::string(900, 'z')};
  settings_.SetCameraUrls(one);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) settings_.SetCameraUrls(i % 2 ? one : two);
    stop = true;
  });
  int torn = 0;
  while (!stop) {
    const CameraUrls seen = settings_.GetCameraUrls();
    if (!(seen == one) && !(seen == two)) ++torn;
    const std::string image = settings_.GetImageUrl();
    if (image != one.image && image != two.image) ++torn;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace vantorel
