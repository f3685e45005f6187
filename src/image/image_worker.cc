#include "image/image_worker.h"

namespace vantorel {

Failure RefreshImage(CurrentImage& image, const std::string& url, const FetchControl& control) {
  ImageBitmapPtr bitmap;
  const Failure failure = FetchHttpJpeg(url, bitmap, control);
  if (!failure.failed() && bitmap) image.Replace(std::move(bitmap));
  return failure;
}

PictureRefresher::PictureRefresher(CurrentImage& image, std::shared_ptr<CancelToken> cancel)
    : image_(image), control_{.cancel = std::move(cancel), .session = &session_, .buffer = &buffer_} {}

Failure PictureRefresher::Refresh(const std::string& url) { return RefreshImage(image_, url, control_); }

}  // namespace vantorel
