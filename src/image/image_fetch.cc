#include "image/image_fetch.h"

#include <optional>
#include <span>

#include "image/jpeg_decode.h"
#include "runtime/log.h"
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
    for (;;) {
      // The HTTP layer bounds the body already; the buffer's room must never depend on it.
      if (body.size() > kMaxStillBytes) return Fail(url, {FailureReason::kTooMuchData, 0, "a body over its bound"});
      const size_t n = get.Read(body.end(), StillBuffer::kReadBlock);
      body.Grow(n);
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
