#include "image/image_fetch.h"

#include <vector>

#include "image/jpeg_decode.h"
#include "platform/http_get.h"
#include "platform/log.h"

namespace vantorel {

namespace {

// Body bytes moved from the transfer per read.
constexpr size_t kReadBlock = 16 * 1024;

// The URL as it may be logged: a password in it becomes "***".
std::string WithoutPassword(const std::string& url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos) return url;
  const size_t host = scheme + 3;
  const size_t at = url.find('@', host);
  if (at == std::string::npos || url.find_first_of("/?#", host) < at) return url;
  const size_t colon = url.find(':', host);
  if (colon == std::string::npos || colon > at) return url;
  return url.substr(0, colon + 1) + "***" + url.substr(at);
}

ImageBitmapPtr Fail(const FetchControl& control, const std::string& url, const std::string& why) {
  if (LogEnabled()) LogFailure("image fetch %s: %s", WithoutPassword(url).c_str(), why.c_str());
  if (control.failure) *control.failure = why;
  return nullptr;
}

}  // namespace

ImageBitmapPtr FetchHttpJpeg(const std::string& url, uint32_t& size, const FetchControl& control) {
  size = 0;
  std::vector<uint8_t> body;
  {
    HttpGet get(control.cancel);
    if (!get.Open(url, kImageUserAgent, kStillLimits)) return Fail(control, url, get.Error());
    for (;;) {
      const size_t at = body.size();
      if (at > kMaxStillBytes) return Fail(control, url, "the camera sent too much");
      body.resize(at + kReadBlock);
      const size_t n = get.Read(body.data() + at, kReadBlock);
      body.resize(at + n);
      if (n == 0) break;
    }
    switch (get.state()) {
      case HttpGet::State::kComplete:
        break;
      case HttpGet::State::kFailed:
        // A connection that ends before the announced length: what came is decoded, its
        // missing rows filled in, as for a still sent without a length.
        if (!body.empty()) {
          LogFailure("image fetch: %s; decoding the %zu bytes that came", get.Error().c_str(), body.size());
          break;
        }
        return Fail(control, url, get.Error());
      default:
        return Fail(control, url, get.Error());
    }
  }  // the connection closes before the decode
  if (body.size() > kMaxStillBytes) return Fail(control, url, "the camera sent too much");
  std::string why;
  ImageBitmapPtr bitmap = DecodeJpeg(body, size, &why);
  if (!bitmap) return Fail(control, url, "not a usable JPEG: " + why);
  return bitmap;
}

ImageBitmapPtr LoadImageFromSource(int type, const std::string& url, uint32_t& size,
                                   const FetchControl& control) {
  size = 0;
  if (type == kImageSourceHttpJpeg) return FetchHttpJpeg(url, size, control);
  return nullptr;
}

}  // namespace vantorel
