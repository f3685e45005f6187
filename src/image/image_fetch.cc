#include "image/image_fetch.h"

#include <array>

#include "image/jpeg_decode.h"
#include "platform/http_get.h"
#include "platform/log.h"
#include "platform/program_dir.h"
#include "platform/temp_file.h"

namespace vantorel {

namespace {

// Body bytes moved from the transfer to the file per step.
constexpr size_t kCopyBlock = 16 * 1024;

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
  std::array<char, kCopyBlock> block;
  std::string directory;
  std::unique_ptr<TempFile> file;
  {
    HttpGet get(control.cancel);
    if (!get.Open(url, kImageUserAgent, kStillLimits)) return Fail(control, url, get.Error());
    // The first piece comes before the file, so that an unreachable camera creates none.
    size_t n = get.Read(block.data(), block.size());
    if (n == 0 && get.state() != HttpGet::State::kComplete) return Fail(control, url, get.Error());
    if (!GetProgramDirectory(directory)) return Fail(control, url, "no program directory");
    file = std::make_unique<TempFile>(directory + "/" + kTempImageName);
    if (!file->ok()) return Fail(control, url, file->error());
    while (n > 0) {
      if (!file->Write(block.data(), n)) return Fail(control, url, file->error());
      n = get.Read(block.data(), block.size());
    }
    if (get.state() != HttpGet::State::kComplete) return Fail(control, url, get.Error());
  }  // the connection closes before the decode
  if (!file->Rewind()) return Fail(control, url, file->error());
  std::string why;
  ImageBitmapPtr bitmap = DecodeJpegHandle(file->fd(), size, &why);
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
