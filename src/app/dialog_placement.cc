#include "app/dialog_placement.h"

#include <QWidget>
#include <algorithm>

namespace vantorel {

QPoint CentredOffset(QSize parent_client, QSize dialog) {
  const int x = (parent_client.width() - dialog.width()) / 2;
  const int y = (parent_client.height() - dialog.height()) / 2;
  return {std::max(x, 0), std::max(y, 0)};
}

void CentreOverParent(QWidget* dialog, const QWidget* parent) {
  if (!parent) return;
  // The whole window, frame included, is what has to fit.
  const QSize size = dialog->frameGeometry().size().expandedTo(dialog->size());
  dialog->move(parent->mapToGlobal(CentredOffset(parent->size(), size)));
}

}  // namespace vantorel
