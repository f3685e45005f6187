#include "app/program_icon.h"

#include <QPainter>

namespace vantorel {

QPixmap ProgramIconPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);
  // A door in the window's background colour with a camera lens above its handle.
  p.setPen(QPen(QColor(90, 60, 40), 1.5));
  p.setBrush(QColor(254, 220, 202));
  p.drawRoundedRect(QRectF(7, 2, 18, 28), 2, 2);
  p.setBrush(QColor(40, 40, 40));
  p.drawEllipse(QPointF(16, 10), 5, 5);
  p.setBrush(QColor(120, 170, 230));
  p.drawEllipse(QPointF(16, 10), 2.2, 2.2);
  p.setBrush(QColor(90, 60, 40));
  p.drawEllipse(QPointF(21, 19), 1.5, 1.5);
  return pixmap;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) icon.addPixmap(ProgramIconPixmap(size));
  return icon;
}

}  // namespace vantorel
