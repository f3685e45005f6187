#include "image/picture_stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/image_fetch.h"
#include "image/jpeg_decode.h"
#include "net/multipart_reader.h"
#include "runtime/log.h"

namespace vantorel {

namespace {

using Clock = std::chrono::steady_clock;

// Why a stream that brought no picture ended: a failure of the transfer first, else what
// was wrong with its parts, else the stream's end or silence itself.
Failure EndOf(const HttpGet& get, const StreamResult& result, uint64_t over_bound, bool silent) {
  Failure outcome = get.Outcome();
  if (outcome.reason != FailureReason::kNone) return outcome;  // a stop among them
  if (result.frames == 0 && over_bound > 0) {
    return {FailureReason::kTooMuchData, get.ResponseCode(), "every part of the picture stream was over its bound"};
  }
  if (result.frames == 0 && result.dropped > 0) {
    return {FailureReason::kNotAPicture, get.ResponseCode(), "no part of the picture stream was a usable JPEG"};
  }
  return {FailureReason::kConnectionLost, get.ResponseCode(),
          silent ? "no picture in the stream for " + std::to_string(kPictureStreamStall.count()) + " ms"
                 : std::string("the picture stream ended")};
}

}  // namespace

StreamResult ReadPictureStream(HttpGet& get, std::span<const uint8_t> first, const std::string& content_type,
                               ImageBitmap& picture, StillBuffer& frame, const FrameSink& sink) {
  StreamResult result;
  get.ContinueAsStream(kPictureStreamStall);
  // `first` may lie in `frame`: it is moved out before `frame` holds parts.
  std::vector<uint8_t> block(std::max(StillBuffer::kReadBlock, first.size()));
  std::copy(first.begin(), first.end(), block.begin());
  size_t n = first.size();
  frame.Clear();
  MultipartReader reader(BoundaryFromContentType(content_type),
                         {.max_header_bytes = 8 * 1024, .max_part_bytes = kMaxStillBytes});
  bool pending = false;
  const MultipartReader::PartCallback keep_newest = [&](const MultipartPart& part) {
    if (part.body.empty()) return;
    if (pending) ++result.skipped;
    frame.Clear();
    std::memcpy(frame.end(), part.body.data(), part.body.size());
    frame.Grow(part.body.size());
    pending = true;
  };
  auto last_picture = Clock::now();
  auto pending_since = last_picture;
  std::string why;
  for (;;) {
    const bool had_pending = pending;
    reader.Feed({block.data(), n}, keep_newest);
    if (pending && !had_pending) pending_since = Clock::now();
    if (pending) {
      // Whatever has come meanwhile is read first, so that a newer part among it wins; but
      // a part is not held back for long by a camera that sends without pause.
      if (Clock::now() - pending_since < kPictureStreamCatchUp) {
        n = get.ReadReady(block.data(), block.size());
        if (n > 0) continue;
      }
      pending = false;
      const bool decoded = DecodeJpeg(frame.bytes(), picture, &why);
      frame.Clear();
      if (decoded) {
        last_picture = Clock::now();
        ++result.frames;
        if (!sink || !sink(picture)) return result;
      } else {
        ++result.dropped;
        LogFailure("picture stream: a part is not a usable JPEG: %s", why.c_str());
      }
    }
    if (Clock::now() - last_picture >= kPictureStreamStall) {
      result.dropped += reader.dropped_parts();
      result.failure = EndOf(get, result, reader.dropped_parts(), true);
      return result;
    }
    n = get.Read(block.data(), block.size());
    if (n == 0) break;
  }
  frame.Clear();
  result.dropped += reader.dropped_parts();
  result.failure = EndOf(get, result, reader.dropped_parts(), false);
  return result;
}

}  // namespace vantorel
