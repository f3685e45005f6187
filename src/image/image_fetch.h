#pragma once
// One camera still over HTTP: the body is collected in memory and decoded from there, so
// nothing of a still is ever shared with another process or left on disk.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "image/image_bitmap.h"
#include "image/picture_stream.h"
#include "image/still_buffer.h"
#include "net/http_get.h"
#include "net/http_session.h"
#include "net/sign_in_memory.h"
#include "runtime/cancel_token.h"
#include "runtime/failure.h"

namespace vantorel {

inline constexpr const char* kImageUserAgent = "Halvicor Gazoo read.";
// The most body a still may have; a camera that sends more is refused.
inline constexpr size_t kMaxStillBytes = size_t{32} << 20;

// The bounds of one still: a camera cannot fill the memory, the disk or the time of the
// picture worker, whatever it sends and however slowly.
inline constexpr HttpGetLimits kStillLimits{.max_body_bytes = kMaxStillBytes, .max_duration_ms = 15000};

// What a fetch may use that outlives it; every field may be left empty.
struct FetchControl {
  // Cancelling it from another thread ends the fetch within 100 ms (kStopped).
  std::shared_ptr<CancelToken> cancel;
  // The still goes over this session's kept connection and sign-in (the picture worker's
  // stills, one after another).
  HttpSession* session = nullptr;
  // The body is collected here (made for kMaxStillBytes) instead of in a mapping of the
  // still's own.
  StillBuffer* buffer = nullptr;
  // Cameras that have taken Digest get no Basic sign-in (net/sign_in_memory.h).
  SignInMemory* sign_ins = nullptr;
  // For a URL that answers with a picture stream: each frame is handed on here as it is
  // decoded (picture_stream.h). Without it a stream gives its first frame as the still.
  FrameSink on_frame;
};

// GETs `url` (user agent kImageUserAgent, no proxy, http/https only), collects the body in
// memory (at most kMaxStillBytes) and decodes it into `picture`, reusing its pixel storage.
// A body cut short by the connection is decoded as far as it came. An answer with an error
// status is kErrorStatus (what it means is the caller's to say); a body that is no usable
// JPEG is kNotAPicture. kNone with the still in `picture` on success; `picture` is empty
// otherwise (its storage kept).
//
// An answer of a multipart type is a picture stream (picture_stream.h): read on this
// connection until it ends, stalls (kPictureStreamStall without a picture) or the sink ends
// it. Its frames go to control.on_frame and `picture` is left empty; kNone when the stream
// brought at least one frame (it ended or went silent after pictures; asking again at once
// is the remedy), else why it brought none. Without on_frame the first frame is the still.
Failure FetchHttpJpeg(const std::string& url, ImageBitmap& picture, const FetchControl& control = {});

}  // namespace vantorel
