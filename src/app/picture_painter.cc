#include "app/picture_painter.h"

#include <QImage>

#include "image/current_image.h"
#include "image/image_bitmap.h"

namespace vantorel {

namespace {

// A top-down copy of the bitmap's pixels; the block itself stores rows bottom-up.
QImage ToQImage(const ImageBitmap& bitmap) {
  const ImageBitmapHeader& h = bitmap.header;
  if (h.width <= 0 || h.height <= 0 || h.bits_per_pixel != 24) return {};
  const uint8_t* pixels =
      reinterpret_cast<const uint8_t*>(&bitmap) + h.header_size + 4 * ImageColorCount(h);
  const qsizetype stride = static_cast<qsizetype>(ImageRowStride(static_cast<uint64_t>(h.width)));
  if (static_cast<uint64_t>(stride) * static_cast<uint64_t>(h.height) > ImageDataSize(h)) return {};
  const QImage view(pixels, h.width, h.height, stride, QImage::Format_BGR888);
  return view.mirrored(false, true);
}

}  // namespace

bool PaintPicture(QPainter& painter, const QRect& client) {
  QImage picture;
  // Only the copy happens under the picture lock; the worker may swap right after.
  WithCurrentImage([&picture](const ImageBitmap* bitmap) {
    if (bitmap) picture = ToQImage(*bitmap);
  });
  if (picture.isNull()) return false;
  // Unscaled, 40 pixels left of the client area: a 320-pixel still on a 240-pixel screen
  // shows its middle.
  painter.drawImage(QPoint(client.left() - 40, client.top()), picture);
  return true;
}

}  // namespace vantorel
