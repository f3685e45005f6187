#pragma once
// Draws the current camera picture into the window.

#include <QPainter>
#include <QRect>

namespace vantorel {

// Draws the current picture at x = client.left() - 40, y = client.top(), at its own size,
// unscaled. Returns false when there is no picture to draw.
bool PaintPicture(QPainter& painter, const QRect& client);

}  // namespace vantorel
