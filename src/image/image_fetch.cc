#include "image/image_fetch.h"

#include <optional>
#include <span>

#include "image/jpeg_decode.h"
#include "runtime/log.h"
#include "net/multipart_reader.h"
#include "net/url.h"

namespace vantorel {

namespace {

// Empties the buffer when a still is done, whichever way it ends.
class ClearWhenDone {
 public:
  explicit ClearWhenDone(StillBuffer& buffer) : buffer_(buffer) {}
  ~ClearWhenDone() { buffer_.Clear(); }
  ClearWhenDone(const ClearWhenDone&) = delete;
  ClearWhenDone& operator=(const ClearWhenDone&) = delete;

 private:
  StillBuffer& buffer_;
};

Failure Fail(const std::string& url, Failure failure) {
  if (LogEnabled()) {
    LogFailure("image fetch %s: %s (HTTP %ld) %s", RedactUrl(url).c_str(), FailureName(failure.reason),
               failure.http_status, failure.detail.c_str());
  }
  return failure;
}

// The rest of a picture stream whose first bytes are in `body`.
Failure ReadStream(const std::string& url, HttpGet& get, const std::string& type, StillBuffer& body,
                   ImageBitmap& picture, const FetchControl& control) {
  const StreamResult result = ReadPictureStream(get, body.bytes(), type, picture, body, control.on_frame);
  if (control.on_frame || result.frames == 0) {
    picture.width = 0;
    picture.height = 0;
  }
  if (result.failure.reason == FailureReason::kStopped) return result.failure;
  if (result.frames > 0) {
    if (result.failure.failed() && LogEnabled()) {
      LogFailure("image stream %s: %s after %llu frames (%llu skipped, %llu dropped) %s", RedactUrl(url).c_str(),
                 FailureName(result.failure.reason), static_cast<unsigned long long>(result.frames),
                 static_cast<unsigned long long>(result.skipped), static_cast<unsigned long long>(result.dropped),
                 result.failure.detail.c_str());
    }
    return {};
  }
  return Fail(url, result.failure);
}

}  // namespace

Failure FetchHttpJpeg(const std::string& url, ImageBitmap& picture, const FetchControl& control) {
  picture.width = 0;
  picture.height = 0;
  std::optional<StillBuffer> own;
  StillBuffer& body = control.buffer ? *control.buffer : own.emplace(kMaxStillBytes);
  const ClearWhenDone clear(body);
  body.Clear();
  if (!body.ok()) return Fail(url, {FailureReason::kLocalFailure, 0, "no memory for a still's body"});
  Failure outcome;
  {
    std::optional<HttpGet> get_storage;
    if (control.session) {
      get_storage.emplace(*control.session, control.cancel);
    } else {
      get_storage.emplace(control.cancel);
    }
    HttpGet& get = *get_storage;
    get.RememberSignIns(control.sign_ins);
    if (!get.Open(url, kImageUserAgent, kStillLimits)) return Fail(url, get.Outcome());
    for (bool first = true;; first = false) {
      // The HTTP layer bounds the body already; the buffer's room must never depend on it.
      if (body.size() > kMaxStillBytes) return Fail(url, {FailureReason::kTooMuchData, 0, "a body over its bound"});
      const size_t n = get.Read(body.end(), StillBuffer::kReadBlock);
      body.Grow(n);
      if (first && !get.Outcome().failed()) {
        const std::string type = get.ContentType();
        if (IsMultipartType(type)) return ReadStream(url, get, type, body, picture, control);
      }
      if (n == 0) break;
    }
    outcome = get.Outcome();
    switch (get.state()) {
      case HttpGet::State::kComplete:
        break;
      case HttpGet::State::kFailed: {
        // A connection that ends before the announced length: what came is decoded, its
        // missing rows filled in, as for a still sent without a length. A bound that was hit
        // is a failure of its own.
        const bool bounded = outcome.reason == FailureReason::kTooMuchData || outcome.reason == FailureReason::kTooSlow;
        if (!body.empty() && !bounded) {
          LogFailure("image fetch: %s; decoding the %zu bytes that came", get.Error().c_str(), body.size());
          break;
        }
        return Fail(url, outcome);
      }
      default:
        return Fail(url, outcome);
    }
  }  // a fresh connection closes before the decode; a session's stays
  // The status is not looked at while the body decodes: whatever picture came is shown.
  std::string why;
  if (!DecodeJpeg(body.bytes(), picture, &why)) {
    // An error page (a refused sign-in, a wrong path) says more than the decoder can.
    if (!outcome.failed()) outcome = {FailureReason::kNotAPicture, outcome.http_status, {}};
    outcome.detail = "not a usable JPEG: " + why;
    return Fail(url, outcome);
  }
  return {};
}

}  // namespace vantorel
