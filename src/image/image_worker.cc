#include "image/image_worker.h"

namespace vantorel {

Failure RefreshImage(CurrentImage& image, ImageBitmap& next, const std::string& url, const FetchControl& control) {
  const Failure failure = FetchHttpJpeg(url, next, control);
  if (!failure.failed() && !next.empty()) image.Swap(next);
  return failure;
}

PictureRefresher::PictureRefresher(CurrentImage& image, std::shared_ptr<CancelToken> cancel)
    : image_(image),
      control_{.cancel = std::move(cancel), .session = &session_, .buffer = &buffer_, .on_frame = [this](ImageBitmap& frame) {
                 image_.Swap(frame);
                 ++pictures_;
                 return !on_stream_frame_ || on_stream_frame_();
               }} {}

Failure PictureRefresher::Refresh(const std::string& url) {
  const Failure failure = FetchHttpJpeg(url, next_, control_);
  if (!failure.failed() && !next_.empty()) {
    image_.Swap(next_);
    ++pictures_;
  }
  return failure;
}

}  // namespace vantorel
