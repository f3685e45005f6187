#include "app/url_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialog_placement.h"
#include "app/settings_saver.h"
#include "app/strings.h"
#include "net/url.h"
#include "settings/camera_settings.h"

namespace vantorel {

namespace {

// What a password shows as: no real URL holds this character.
const QString kMask = QString(6, QChar(0x25CF));

// `text` with the password of the URL in it replaced by kMask; the password into `password`.
QString Masked(const QString& text, QString& password) {
  const std::string bytes = text.toStdString();
  const auto [begin, end] = PasswordSpan(bytes);
  if (begin == end) return text;
  password = QString::fromStdString(bytes.substr(begin, end - begin));
  return QString::fromStdString(bytes.substr(0, begin)) + kMask + QString::fromStdString(bytes.substr(end));
}

QLineEdit* MakeField(int id, const QString& text) {
  auto* field = new QLineEdit(text);
  field->setObjectName(QStringLiteral("field%1").arg(id));
  field->setCursorPosition(0);
  return field;
}

bool HasControlCharacter(const QString& text) {
  for (const QChar c : text) {
    if (c.category() == QChar::Other_Control) return true;  // C0, DEL and C1
  }
  return false;
}

}  // namespace

UrlDialog::UrlDialog(QWidget* parent, CameraSettings& settings, SettingsSaver& saver)
    : QDialog(parent), settings_(settings), saver_(saver) {
  setObjectName("UrlDialog");
  setWindowTitle("ダイアログ");
  setModal(true);
  const CameraUrls urls = settings_.GetCameraUrls();
  const struct {
    Slot& slot;
    int id;
    const std::string& url;
  } fields[] = {{image_, kImageField, urls.image},
               {receive_, kReceiveField, urls.receive},
               {transmit_, kTransmitField, urls.transmit}};
  bool any_password = false;
  for (const auto& s : fields) {
    s.slot.original = s.url;
    s.slot.shown = QString::fromStdString(s.url);
    s.slot.field = MakeField(s.id, Masked(s.slot.shown, s.slot.password));
    any_password = any_password || !s.slot.password.isEmpty();
  }

  auto* form = new QFormLayout;
  form->addRow("画像URL", image_.field);
  form->addRow("マイクURL", receive_.field);
  form->addRow("スピーカーURL", transmit_.field);
  // The loudspeaker's URL is kept and saved but not offered for editing.
  form->setRowVisible(transmit_.field, false);

  auto* buttons = new QDialogButtonBox;
  buttons->addButton("OK", QDialogButtonBox::AcceptRole)->setObjectName("ok");
  buttons->addButton("キャンセル", QDialogButtonBox::RejectRole)->setObjectName("cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &UrlDialog::Confirm);
  connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(kDialogCancel); });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  if (any_password) {
    auto* show = new QCheckBox(QStringLiteral("パスワードを表示"));
    show->setObjectName("showPasswords");
    connect(show, &QCheckBox::toggled, this, &UrlDialog::ShowPasswords);
    layout->addWidget(show);
  }
  layout->addWidget(buttons);
  setMinimumWidth(440);
}

QLineEdit* UrlDialog::Field(int id) const {
  switch (id) {
    case kImageField:
      return image_.field;
    case kReceiveField:
      return receive_.field;
    case kTransmitField:
      return transmit_.field;
    default:
      return nullptr;
  }
}

QString UrlDialog::Unmasked(const Slot& slot) {
  QString text = slot.field->text();
  return slot.password.isEmpty() ? text : text.replace(kMask, slot.password);
}

void UrlDialog::ShowPasswords(bool show) {
  for (Slot* slot : {&image_, &receive_, &transmit_}) {
    const QString text = Unmasked(*slot);
    if (show) {
      slot->field->setText(text);
      slot->password.clear();
    } else {
      slot->field->setText(Masked(text, slot->password));
    }
    slot->field->setCursorPosition(0);
  }
}

bool UrlDialog::TakeField(const Slot& slot, std::string& url) {
  const QString text = Unmasked(slot);
  if (text == slot.shown) {
    url = slot.original;  // untouched: the very bytes that were there
    return true;
  }
  const QString trimmed = text.trimmed();
  if (HasControlCharacter(trimmed)) return false;
  url = trimmed.toStdString();
  return true;
}

void UrlDialog::Confirm() {
  CameraUrls urls;
  for (auto [slot, url] : {std::pair{&image_, &urls.image}, std::pair{&receive_, &urls.receive},
                           std::pair{&transmit_, &urls.transmit}}) {
    if (!TakeField(*slot, *url)) {
      auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(),
                                  "URLに制御文字(改行など)は使えません。", QMessageBox::Ok, this);
      box->setObjectName("controlCharacterMessage");
      box->setAttribute(Qt::WA_DeleteOnClose);
      box->open();
      slot->field->setFocus();
      return;  // the dialog stays open; nothing is changed or saved
    }
  }
  // Each slot takes at most 1023 characters of its field.
  settings_.SetCameraUrls(urls);
  // The URLs are in force from here on, whatever the save gives; a failed save is shown
  // in an error box when its report comes back.
  saver_.Save();
  done(kDialogOk);
}

void UrlDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CentreOverParent(this, parentWidget());
}

}  // namespace vantorel
