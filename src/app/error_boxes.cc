#include "app/error_boxes.h"

#include <QMessageBox>

namespace vantorel {

void ErrorBoxes::Show(const QString& caption, const QString& text) {
  waiting_.emplace_back(caption, text);
  if (!current_) ShowNext();
}

void ErrorBoxes::ShowNext() {
  if (waiting_.empty()) return;
  auto [caption, text] = std::move(waiting_.front());
  waiting_.pop_front();
  auto* box = new QMessageBox(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent_);
  box->setAttribute(Qt::WA_DeleteOnClose);
  current_ = box;
  connect(box, &QMessageBox::finished, this, [this] {
    current_ = nullptr;
    ShowNext();
  });
  box->open();
}

}  // namespace vantorel
