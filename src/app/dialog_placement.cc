#include "app/dialog_placement.h"

#include <QMenuBar>
#include <QWidget>
#include <algorithm>

namespace vantorel {

QPoint CentredOffset(QSize parent_client, QSize dialog) {
  const int x = (parent_client.width() - dialog.width()) / 2;
  const int y = (parent_client.height() - dialog.height()) / 2;
  return {std::max(x, 0), std::max(y, 0)};
}

QRect ClientArea(const QWidget* parent) {
  QRect client = parent->rect();
  const auto* menu = parent->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly);
  if (!menu || !menu->isVisibleTo(parent)) return client;
  const QRect bar = menu->geometry();
  if (bar.top() <= client.top()) {
    client.setTop(bar.bottom() + 1);
  } else if (bar.bottom() >= client.bottom()) {
    client.setBottom(bar.top() - 1);
  }
  return client;
}

void CentreOverParent(QWidget* dialog, const QWidget* parent) {
  if (!parent) return;
  // The whole dialog, frame included, is what has to fit.
  const QSize size = dialog->frameGeometry().size().expandedTo(dialog->size());
  const QRect client = ClientArea(parent);
  dialog->move(parent->mapToGlobal(client.topLeft() + CentredOffset(client.size(), size)));
}

}  // namespace vantorel
