#include "image/image_fetch.h"

#include <sys/mman.h>

#include <optional>
#include <span>

#include "image/jpeg_decode.h"
#include "platform/http_get.h"
#include "platform/log.h"
#include "platform/redact_url.h"

namespace vantorel {

namespace {

// Body bytes moved from the transfer per read.
constexpr size_t kReadBlock = 16 * 1024;

// Room for one still: the whole bound reserved as address space, made resident only as far
// as the body comes, and returned to the system at once when the still is done. No copy
// while it grows, and a camera that sends without end costs the bound, never more.
class StillBuffer {
 public:
  StillBuffer() {
    void* p = mmap(nullptr, kCapacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p != MAP_FAILED) data_ = static_cast<uint8_t*>(p);
  }
  ~StillBuffer() {
    if (data_) munmap(data_, kCapacity);
  }
  StillBuffer(const StillBuffer&) = delete;
  StillBuffer& operator=(const StillBuffer&) = delete;

  bool ok() const { return data_ != nullptr; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // Where the next read goes; there is always room for kReadBlock more while size() is
  // within the bound.
  uint8_t* end() { return data_ + size_; }
  void Grow(size_t n) { size_ += n; }
  std::span<const uint8_t> bytes() const { return {data_, size_}; }

 private:
  static constexpr size_t kCapacity = kMaxStillBytes + 2 * kReadBlock;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
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
  StillBuffer body;
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
      const size_t n = get.Read(body.end(), kReadBlock);
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
