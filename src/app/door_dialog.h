#pragma once
// "ドア設定": the call button's input, the door opener's output and pulse, the chime and
// the quiet hours (vantorel.ini's [door]). OK hands the settings to `apply` (which puts them
// in force and saves them off the window thread); a quiet-hours text or a chime path that
// cannot be used is refused with a message, and the dialog stays open.

#include <QDialog>
#include <functional>

#include "settings/station_ini.h"

class QLineEdit;
class QSpinBox;

namespace vantorel {

class DoorDialog : public QDialog {
  Q_OBJECT
 public:
  using Apply = std::function<void(const DoorSettings&)>;

  DoorDialog(QWidget* parent, const DoorSettings& current, Apply apply);

  QSpinBox* button_field() const { return button_; }
  QSpinBox* relay_field() const { return relay_; }
  QSpinBox* open_ms_field() const { return open_ms_; }
  QLineEdit* chime_field() const { return chime_; }
  QLineEdit* quiet_field() const { return quiet_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Confirm();
  void Refuse(const QString& why, QWidget* field);

  const Apply apply_;
  QSpinBox* button_;
  QSpinBox* relay_;
  QSpinBox* open_ms_;
  QLineEdit* chime_;
  QLineEdit* quiet_;
};

}  // namespace vantorel
