#pragma once
// One camera still over HTTP: the body is collected in memory and decoded from there, so
// nothing of a still is ever shared with another process or left on disk.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "image/image_bitmap.h"
#include "image/still_buffer.h"
#include "runtime/cancel_token.h"
#include "runtime/failure.h"
#include "net/http_session.h"

namespace vantorel {

inline constexpr const char* kImageUserAgent = "Halvicor Gazoo read.";
// The most body a still may have; a camera that sends more is refused.
inline constexpr size_t kMaxStillBytes = size_t{32} << 20;

// Where the picture comes from. Only 2, a JPEG over HTTP, has a loader; 1 to 4 are the
// known values, and the program always uses 2.
inline constexpr int kImageSourceHttpJpeg = 2;
inline constexpr int kImageSourceType = kImageSourceHttpJpeg;

struct FetchControl {
  // When given, cancelling it from another thread ends the fetch within 100 ms (null result).
  std::shared_ptr<CancelToken> cancel;
  // When given, receives a one-line reason whenever the result is null.
  std::string* failure = nullptr;
  // When given, the still goes over this session's kept connection and sign-in (the picture
  // worker's stills, one after another); it is dropped after any failure.
  HttpSession* session = nullptr;
  // When given, receives the classified reason whenever the result is null.
  Failure* outcome = nullptr;
  // When given, the body is collected here (made for kMaxStillBytes) instead of in a
  // mapping of the still's own.
  StillBuffer* buffer = nullptr;
};

// GETs `url` (user agent kImageUserAgent, fresh connection, no proxy, http/https only),
// collects the body in memory (at most kMaxStillBytes) and decodes it. A body cut short by
// the connection is decoded as far as it came. The status code is not looked at: an error
// page reaches the decoder, which rejects it. `size` is 0 on entry and the bitmap's total
// size with a bitmap. Failures are otherwise silent apart from LogFailure.
ImageBitmapPtr FetchHttpJpeg(const std::string& url, uint32_t& size, const FetchControl& control = {});

// `size` = 0, then the loader for `type` (FetchHttpJpeg for 2); null for any other type.
ImageBitmapPtr LoadImageFromSource(int type, const std::string& url, uint32_t& size,
                                   const FetchControl& control = {});

}  // namespace vantorel
