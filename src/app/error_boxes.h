#pragma once
// Error boxes shown one at a time, each opened without a nested event loop: a box that
// comes while another is showing waits for it to be closed.

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <deque>
#include <utility>

namespace vantorel {

class ErrorBoxes : public QObject {
  Q_OBJECT
 public:
  explicit ErrorBoxes(QWidget* parent) : QObject(parent), parent_(parent) {}
  // Window thread.
  void Show(const QString& caption, const QString& text);
  // The box on show, if any (tests).
  QMessageBox* current() const { return current_; }

 private:
  void ShowNext();

  QWidget* parent_;
  QPointer<QMessageBox> current_;
  std::deque<std::pair<QString, QString>> waiting_;
};

}  // namespace vantorel
