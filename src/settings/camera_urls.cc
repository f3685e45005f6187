#include "settings/camera_urls.h"

#include <mutex>

#include "platform/utf8.h"

namespace vantorel {

namespace {

std::mutex g_urls_mutex;
CameraUrls g_urls = UrlsForAddress(kDefaultCameraAddress);

}  // namespace

CameraUrls UrlsForAddress(std::string_view dotted_address) {
  const std::string base = "http://" + std::string(dotted_address);
  return {base + kImagePath, base + kReceivePath, base + kTransmitPath};
}

std::string CutToChars(std::string_view text, size_t max_chars) {
  return std::string(text.substr(0, Utf8PrefixBytes(text, max_chars)));
}

std::string GetImageUrl() {
  std::lock_guard lock(g_urls_mutex);
  return g_urls.image;
}

std::string GetReceiveUrl() {
  std::lock_guard lock(g_urls_mutex);
  return g_urls.receive;
}

std::string GetTransmitUrl() {
  std::lock_guard lock(g_urls_mutex);
  return g_urls.transmit;
}

CameraUrls GetCameraUrls() {
  std::lock_guard lock(g_urls_mutex);
  return g_urls;
}

void SetImageUrl(std::string_view url) {
  std::string cut = CutToChars(url, kMaxUrlChars);
  std::lock_guard lock(g_urls_mutex);
  g_urls.image = std::move(cut);
}

void SetReceiveUrl(std::string_view url) {
  std::string cut = CutToChars(url, kMaxUrlChars);
  std::lock_guard lock(g_urls_mutex);
  g_urls.receive = std::move(cut);
}

void SetTransmitUrl(std::string_view url) {
  std::string cut = CutToChars(url, kMaxUrlChars);
  std::lock_guard lock(g_urls_mutex);
  g_urls.transmit = std::move(cut);
}

void SetCameraUrls(const CameraUrls& urls) {
  CameraUrls cut{CutToChars(urls.image, kMaxUrlChars), CutToChars(urls.receive, kMaxUrlChars),
                 CutToChars(urls.transmit, kMaxUrlChars)};
  std::lock_guard lock(g_urls_mutex);
  g_urls = std::move(cut);
}

void ResetCameraUrls() { SetCameraUrls(UrlsForAddress(kDefaultCameraAddress)); }

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

bool SetUrlsFromAddress(std::string_view text) {
  if (text.size() < 12) return false;
  for (size_t i = 0; i < 12; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  SetCameraUrls(UrlsForAddress(DottedAddress(text.substr(0, 12))));
  return true;
}

}  // namespace vantorel
