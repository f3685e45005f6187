#pragma once
// Where a dialog goes over its parent: centred on the parent's client area (the window
// without its menu bar), and at that area's top-left corner when the dialog is the larger
// one.

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace vantorel {

// Offset of the dialog within the parent's client area: each of x and y is
// (parent - dialog) / 2, rounded towards zero, and 0 when negative.
QPoint CentredOffset(QSize parent_client, QSize dialog);

// The parent's client area in its own coordinates: its rectangle less a menu bar of its
// own along the top or bottom edge.
QRect ClientArea(const QWidget* parent);

// Moves `dialog` (a top-level window) to that offset over `parent`'s client area.
void CentreOverParent(QWidget* dialog, const QWidget* parent);

}  // namespace vantorel
