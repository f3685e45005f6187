#include "app/picture_painter.h"

#include <QImage>

#include "app/window_layout.h"

namespace vantorel {

bool PaintPicture(QPainter& painter, const QRect& client, const CurrentImage& image) {
  bool drawn = false;
  // The blit happens under the picture lock: the worker's next swap waits for it.
  image.WithBitmap([&](const ImageBitmap* picture) {
    if (picture == nullptr) return;
    const QImage view(reinterpret_cast<const uchar*>(picture->pixels.data()), picture->width, picture->height,
                      static_cast<qsizetype>(picture->width) * 4, QImage::Format_RGB32);
    painter.drawImage(QPoint(client.left() + kPictureX, client.top() + kPictureY), view);
    drawn = true;
  });
  return drawn;
}

QRect PictureRect(const QRect& client, const CurrentImage& image) {
  QRect rect;
  image.WithBitmap([&](const ImageBitmap* picture) {
    if (picture != nullptr) {
      rect = QRect(client.left() + kPictureX, client.top() + kPictureY, picture->width, picture->height);
    }
  });
  return rect.intersected(client);
}

}  // namespace vantorel
