#include "app/door_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/dialog_placement.h"
#include "app/strings.h"

namespace vantorel {

namespace {

// What vantorel.ini can carry back faithfully: inih cuts a value at ';' or '#' after a
// space and reads lines of at most 199 characters.
constexpr int kMaxChimePath = 150;

QSpinBox* PortField(int value, const char* name) {
  auto* field = new QSpinBox;
  field->setObjectName(name);
  field->setRange(0, 64);
  field->setSpecialValueText("なし");
  field->setValue(value);
  return field;
}

QString QuietText(const std::optional<QuietHours>& quiet) {
  if (!quiet) return {};
  return QString("%1:%2-%3:%4")
      .arg(quiet->start / 60, 2, 10, QChar('0'))
      .arg(quiet->start % 60, 2, 10, QChar('0'))
      .arg(quiet->end / 60, 2, 10, QChar('0'))
      .arg(quiet->end % 60, 2, 10, QChar('0'));
}

}  // namespace

DoorDialog::DoorDialog(QWidget* parent, const DoorSettings& current, Apply apply)
    : QDialog(parent), apply_(std::move(apply)) {
  setObjectName("DoorDialog");
  setWindowTitle("ドア設定");
  setModal(true);
  button_ = PortField(current.button, "button");
  relay_ = PortField(current.relay, "relay");
  open_ms_ = new QSpinBox;
  open_ms_->setObjectName("open_ms");
  open_ms_->setRange(100, 600000);
  open_ms_->setSingleStep(500);
  open_ms_->setSuffix(" ms");
  open_ms_->setValue(current.open_ms);
  chime_ = new QLineEdit(QString::fromStdString(current.chime));
  chime_->setObjectName("chime");
  chime_->setPlaceholderText("標準のチャイム");
  quiet_ = new QLineEdit(QuietText(current.quiet));
  quiet_->setObjectName("quiet");
  quiet_->setPlaceholderText("例 22:00-07:00（空欄: なし）");

  auto* form = new QFormLayout;
  form->addRow("呼び出しボタンの入力", button_);
  form->addRow("開錠の出力", relay_);
  form->addRow("開錠の時間", open_ms_);
  form->addRow("チャイム (WAV)", chime_);
  form->addRow("チャイムを鳴らさない時間", quiet_);

  auto* buttons = new QDialogButtonBox;
  buttons->addButton("OK", QDialogButtonBox::AcceptRole)->setObjectName("ok");
  buttons->addButton("キャンセル", QDialogButtonBox::RejectRole)->setObjectName("cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &DoorDialog::Confirm);
  connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(kDialogCancel); });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  setMinimumWidth(400);
}

void DoorDialog::Refuse(const QString& why, QWidget* field) {
  auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), why, QMessageBox::Ok, this);
  box->setObjectName("refusedMessage");
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
  field->setFocus();
}

void DoorDialog::Confirm() {
  DoorSettings door;
  door.button = button_->value();
  door.relay = relay_->value();
  door.open_ms = open_ms_->value();
  const QString quiet = quiet_->text().trimmed();
  if (!quiet.isEmpty()) {
    door.quiet = ParseQuietHours(quiet.toStdString());
    if (!door.quiet) return Refuse("時間は 22:00-07:00 のように書いてください。", quiet_);
  }
  const QString chime = chime_->text().trimmed();
  for (const QChar c : chime) {
    if (c.category() == QChar::Other_Control || c == ';' || c == '#') {
      return Refuse("チャイムのファイル名に制御文字、「;」、「#」は使えません。", chime_);
    }
  }
  if (chime.toStdString().size() > kMaxChimePath) return Refuse("チャイムのファイル名が長すぎます。", chime_);
  door.chime = chime.toStdString();
  apply_(door);
  done(kDialogOk);
}

void DoorDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CentreOverParent(this, parentWidget());
}

}  // namespace vantorel
