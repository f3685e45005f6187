#pragma once
// One camera still over HTTP: the body goes through "temp.jpg" in the program directory
// into the JPEG decoder.

#include <cstdint>
#include <memory>
#include <string>

#include "image/image_bitmap.h"
#include "platform/cancel_token.h"

namespace vantorel {

inline constexpr const char* kImageUserAgent = "Halvicor Gazoo read.";
inline constexpr const char* kTempImageName = "temp.jpg";

// Where the picture comes from. Only 2, a JPEG over HTTP, has a loader; 1 to 4 are the
// known values, and the program always uses 2.
inline constexpr int kImageSourceHttpJpeg = 2;
inline constexpr int kImageSourceType = kImageSourceHttpJpeg;

struct FetchControl {
  // When given, cancelling it from another thread ends the fetch within 100 ms (null result).
  std::shared_ptr<CancelToken> cancel;
  // When given, receives a one-line reason whenever the result is null.
  std::string* failure = nullptr;
};

// GETs `url` (user agent kImageUserAgent, fresh connection, no proxy, http/https only),
// stores the body in the program directory's temp.jpg (mode 0600, never through a link),
// rewinds and decodes it, and deletes the file on every path. The status code is not
// looked at: an error page reaches the decoder, which rejects it. An unreachable server
// gives null before any file is created. `size` is 0 on entry and the bitmap's total size
// with a bitmap. Failures are otherwise silent apart from LogFailure.
ImageBitmapPtr FetchHttpJpeg(const std::string& url, uint32_t& size, const FetchControl& control = {});

// `size` = 0, then the loader for `type` (FetchHttpJpeg for 2); null for any other type.
ImageBitmapPtr LoadImageFromSource(int type, const std::string& url, uint32_t& size,
                                   const FetchControl& control = {});

}  // namespace vantorel
