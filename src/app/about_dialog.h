#pragma once
// "About Vantorel": the icon, the version, the JPEG library line and the author line.

#include <QDialog>

namespace vantorel {

class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  explicit AboutDialog(QWidget* parent);

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace vantorel
