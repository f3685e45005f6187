#include "settings/camera_urls.h"

#include "runtime/utf8.h"

namespace vantorel {

CameraUrls UrlsForAddress(std::string_view dotted_address) {
  const std::string base = "http://" + std::string(dotted_address);
  return {base + kImagePath, base + kReceivePath, base + kTransmitPath};
}

CameraUrls DefaultCameraUrls() { return UrlsForAddress(kDefaultCameraAddress); }

std::string CutToChars(std::string_view text, size_t max_chars) {
  return std::string(text.substr(0, Utf8PrefixBytes(text, max_chars)));
}

CameraUrls CutUrls(const CameraUrls& urls) {
  return {CutToChars(urls.image, kMaxUrlChars), CutToChars(urls.receive, kMaxUrlChars),
          CutToChars(urls.transmit, kMaxUrlChars)};
}

std::string DottedAddress(std::string_view digits) {
  std::string out;
  for (size_t group = 0; group < 4; ++group) {
    const char d0 = digits[group * 3];
    const char d1 = digits[group * 3 + 1];
    const char d2 = digits[group * 3 + 2];
    if (d0 != '0') {
      out += d0;
      out += d1;
    } else if (d1 != '0') {
      out += d1;
    }
    out += d2;
    if (group != 3) out += '.';
  }
  return out;
}

std::optional<CameraUrls> UrlsFromAddressText(std::string_view text) {
  if (text.size() < 12) return std::nullopt;
  for (size_t i = 0; i < 12; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  }
  return UrlsForAddress(DottedAddress(text.substr(0, 12)));
}

}  // namespace vantorel
