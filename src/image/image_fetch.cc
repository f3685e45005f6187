#include "image/image_fetch.h"

#include <optional>
#include <span>

#include "image/jpeg_decode.h"
#include "net/http_get.h"
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

ImageBitmapPtr Fail(const FetchControl& control, const std::string& url, const Failure& failure) {
  const std::string why = DescribeFailure(failure) + (failure.detail.empty() ? "" : " (" + failure.detail + ")");
  if (LogEnabled()) LogFailure("image fetch %s: %s", RedactUrl(url).c_str(), why.c_str());
  if (control.failure) *control.failure = why;
  if (control.outcome) *control.outcome = failure;
  if (control.session) control.session->Drop();
  return nullptr;
}

}  // namespace

ImageBitmapPtr FetchHttpJpeg(const std::string& url, uint32_t& size, const FetchControl& control) {
  size = 0;
  std::optional<StillBuffer> own;
  StillBuffer& body = control.buffer ? *control.buffer : own.emplace(kMaxStillBytes);
  const ClearWhenDone clear(body);
  body.Clear();
  if (!body.ok()) return Fail(control, url, {FailureReason::kTooMuchData, 0, "no memory for a still"});
  Failure outcome;
  {
    std::optional<HttpGet> get_storage;
    if (control.session) {
      get_storage.emplace(*control.session, control.cancel);
    } else {
      get_storage.emplace(control.cancel);
    }
    HttpGet& get = *get_storage;
    if (!get.Open(url, kImageUserAgent, kStillLimits)) return Fail(control, url, get.Outcome(Endpoint::kPicture));
    for (;;) {
      if (body.size() > kMaxStillBytes) return Fail(control, url, {FailureReason::kTooMuchData, 0, {}});
      const size_t n = get.Read(body.end(), StillBuffer::kReadBlock);
      body.Grow(n);
      if (n == 0) break;
    }
    outcome = get.Outcome(Endpoint::kPicture);
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
        return Fail(control, url, outcome);
      }
      default:
        return Fail(control, url, outcome);
    }
  }  // a fresh connection closes before the decode; a session's stays
  if (body.size() > kMaxStillBytes) return Fail(control, url, {FailureReason::kTooMuchData, 0, {}});
  std::string why;
  ImageBitmapPtr bitmap = DecodeJpeg(body.bytes(), size, &why);
  if (!bitmap) {
    // An error page (a refused sign-in, a wrong path) says more than the decoder can.
    if (!outcome.failed()) outcome = {FailureReason::kNotAPicture, outcome.http_status, {}};
    outcome.detail = "not a usable JPEG: " + why;
    return Fail(control, url, outcome);
  }
  return bitmap;
}

ImageBitmapPtr LoadImageFromSource(int type, const std::string& url, uint32_t& size,
                                   const FetchControl& control) {
  size = 0;
  if (type == kImageSourceHttpJpeg) return FetchHttpJpeg(url, size, control);
  return nullptr;
}

}  // namespace vantorel
