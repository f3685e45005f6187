#pragma once
// A picture URL that answers with a stream (multipart/x-mixed-replace, one JPEG per part)
// instead of a still: the parts are read as they come over the one connection, each
// decoded and shown as a still is.
//
// Frames are decoded as they come. Nothing queues without bound: before a part is decoded,
// whatever the connection has ready is read (for at most kPictureStreamCatchUp), and only
// the newest whole part is decoded (the others are skipped); the parts are not kept, only
// the newest one's bytes (bounded as a still).

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "image/image_bitmap.h"
#include "image/still_buffer.h"
#include "net/http_get.h"
#include "runtime/failure.h"

namespace vantorel {

// A stream that brings no whole picture for this long is given up (and reopened by the
// caller, with its pauses).
inline constexpr std::chrono::milliseconds kPictureStreamStall{3000};
// The longest a whole part waits for newer ones to be read before it is decoded.
inline constexpr std::chrono::milliseconds kPictureStreamCatchUp{100};

// Hands on a decoded frame: `picture` holds it; the callee may take it and hand back other
// storage in `picture`. Returns whether the stream is to go on.
using FrameSink = std::function<bool(ImageBitmap& picture)>;

// What a stream's read came to.
struct StreamResult {
  Failure failure;        // why the stream ended (kNone: the sink asked to end)
  uint64_t frames = 0;    // frames handed on
  uint64_t skipped = 0;   // whole parts not decoded because a newer one had come
  uint64_t dropped = 0;   // parts over a bound, or not a usable JPEG
};

// Reads the stream on `get` (opened, its first bytes `first` already read, its Content-Type
// `content_type`) until it ends, stalls, fails, is cancelled or `sink` returns false. Each
// part is held in `frame` (every part is bounded by the still's bound) and decoded into
// `picture`. With no `sink`, the first frame is left in `picture` and the stream ends.
StreamResult ReadPictureStream(HttpGet& get, std::span<const uint8_t> first, const std::string& content_type,
                               ImageBitmap& picture, StillBuffer& frame, const FrameSink& sink);

}  // namespace vantorel
