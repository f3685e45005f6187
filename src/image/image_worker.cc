#include "image/image_worker.h"

namespace vantorel {

Failure RefreshImage(CurrentImage& image, ImageBitmap& next, const std::string& url, const FetchControl& control) {
  const Failure failure = FetchHttpJpeg(url, next, control);
  if (!failure.failed() && !next.empty()) image.Swap(next);
  return failure;
}

PictureRefresher::PictureRefresher(CurrentImage& image, std::shared_ptr<CancelToken> cancel)
    : image_(image), control_{.cancel = std::move(cancel), .session = &session_, .buffer = &buffer_} {}

Failure PictureRefresher::Refresh(const std::string& url) { return RefreshImage(image_, next_, url, control_); }

}  // namespace vantorel
