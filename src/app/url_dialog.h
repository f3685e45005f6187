#pragma once
// "ダイアログ": edits the three camera URLs. OK copies the fields into the settings, asks
// for the parameter file to be saved (off the window thread: settings_saver.h) and ends
// without waiting for the save; Cancel touches nothing.
//
// A field the user did not change keeps its URL byte for byte (even bytes that are not
// UTF-8, which the field can only show replaced). A changed field loses the white space
// around it (a URL pasted with its line end); control characters left inside it are
// refused with a message, and the dialog stays open.
//
// A password in a URL shows as dots; "パスワードを表示" (there only when a URL has one)
// shows it. Editing around the dots keeps the password they stand for.

#include <QDialog>
#include <string>

class QLineEdit;
class QLabel;

namespace vantorel {

class CameraSettings;
class SettingsSaver;

class UrlDialog : public QDialog {
  Q_OBJECT
 public:
  // Control identifiers of the fields.
  static constexpr int kImageField = 1002;
  static constexpr int kReceiveField = 1005;
  static constexpr int kTransmitField = 1006;

  // Edits `settings`; `saver` saves them.
  UrlDialog(QWidget* parent, CameraSettings& settings, SettingsSaver& saver);
  QLineEdit* Field(int id) const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct Slot {
    QLineEdit* field;
    std::string original;  // the slot's bytes when the dialog opened
    QString shown;         // the field's text when the dialog opened, unmasked
    QString password;      // the password the field shows as dots, as written in the URL
  };
  // The field's text with the dots put back to the password they stand for.
  static QString Unmasked(const Slot& slot);
  // Shows the passwords (`show`) or dots in their place.
  void ShowPasswords(bool show);
  void Confirm();
  // The slot's new bytes; false when the field holds a control character.
  static bool TakeField(const Slot& slot, std::string& url);

  CameraSettings& settings_;
  SettingsSaver& saver_;
  Slot image_;
  Slot receive_;
  Slot transmit_;
};

}  // namespace vantorel
