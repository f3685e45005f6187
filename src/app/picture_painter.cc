#include "app/picture_painter.h"

namespace vantorel {

bool PaintPicture(QPainter&, const QRect&) { return false; }

}  // namespace vantorel
