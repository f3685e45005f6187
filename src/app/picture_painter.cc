#include "app/picture_painter.h"

#include <QImage>

#include "app/window_layout.h"

namespace vantorel {

bool PaintPicture(QPainter& painter, const QRect& client, const CurrentImage& image) {
  bool drawn = false;
  // The blit happens under the picture lock: the worker's next swap waits for it.
  image.WithDisplayFrame([&](const DisplayFrame* frame) {
    if (frame == nullptr) return;
    const QImage view(reinterpret_cast<const uchar*>(frame->pixels.data()), frame->width, frame->height,
                      static_cast<qsizetype>(frame->width) * 4, QImage::Format_RGB32);
    painter.drawImage(QPoint(client.left() + kPictureX, client.top() + kPictureY), view);
    drawn = true;
  });
  return drawn;
}

QRect PictureRect(const QRect& client, const CurrentImage& image) {
  QRect rect;
  image.WithDisplayFrame([&](const DisplayFrame* frame) {
    if (frame != nullptr) {
      rect = QRect(client.left() + kPictureX, client.top() + kPictureY, frame->width, frame->height);
    }
  });
  return rect.intersected(client);
}

}  // namespace vantorel
