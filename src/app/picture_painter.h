#pragma once
// Draws the current camera picture into the window.

#include <QPainter>
#include <QRect>

#include "image/current_image.h"

namespace vantorel {

// Draws the current picture at its own size, unscaled, its top-left corner at
// (client.left() + kPictureX, client.top() + kPictureY): one blit of the picture as the
// decoder wrote it, without a copy or a conversion. Returns false when there is no picture.
bool PaintPicture(QPainter& painter, const QRect& client, const CurrentImage& image);

// Where the picture of `image` lies in the window (empty without one).
QRect PictureRect(const QRect& client, const CurrentImage& image);

}  // namespace vantorel
