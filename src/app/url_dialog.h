#pragma once
// "ダイアログ": edits the three camera URLs. OK copies the fields into the settings and
// saves the parameter file; Cancel touches nothing.

#include <QDialog>

class QLineEdit;
class QLabel;

namespace vantorel {

class CameraSettings;

class UrlDialog : public QDialog {
  Q_OBJECT
 public:
  // Control identifiers of the fields.
  static constexpr int kImageField = 1002;
  static constexpr int kReceiveField = 1005;
  static constexpr int kTransmitField = 1006;

  // Edits `settings`; without it, the program's settings (program_settings.h).
  UrlDialog(QWidget* parent, CameraSettings& settings);
  explicit UrlDialog(QWidget* parent);
  QLineEdit* Field(int id) const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Confirm();

  CameraSettings& settings_;
  QLineEdit* image_;
  QLineEdit* receive_;
  QLineEdit* transmit_;
};

}  // namespace vantorel
