#include "app/url_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialog_placement.h"
#include "settings/camera_settings.h"
#include "settings/program_settings.h"

namespace vantorel {

namespace {

QLineEdit* MakeField(int id, const std::string& text) {
  auto* field = new QLineEdit(QString::fromStdString(text));
  field->setObjectName(QStringLiteral("field%1").arg(id));
  field->setCursorPosition(0);
  return field;
}

}  // namespace

UrlDialog::UrlDialog(QWidget* parent) : UrlDialog(parent, ProgramSettings()) {}

UrlDialog::UrlDialog(QWidget* parent, CameraSettings& settings) : QDialog(parent), settings_(settings) {
  setObjectName("UrlDialog");
  setWindowTitle("ダイアログ");
  setModal(true);
  const CameraUrls urls = settings_.GetCameraUrls();
  image_ = MakeField(kImageField, urls.image);
  receive_ = MakeField(kReceiveField, urls.receive);
  transmit_ = MakeField(kTransmitField, urls.transmit);

  auto* form = new QFormLayout;
  form->addRow("画像URL", image_);
  form->addRow("マイクURL", receive_);
  form->addRow("スピーカーURL", transmit_);
  // The loudspeaker's URL is kept and saved but not offered for editing.
  form->setRowVisible(transmit_, false);

  auto* buttons = new QDialogButtonBox;
  buttons->addButton("OK", QDialogButtonBox::AcceptRole)->setObjectName("ok");
  buttons->addButton("キャンセル", QDialogButtonBox::RejectRole)->setObjectName("cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &UrlDialog::Confirm);
  connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(2); });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  setMinimumWidth(440);
}

QLineEdit* UrlDialog::Field(int id) const {
  switch (id) {
    case kImageField:
      return image_;
    case kReceiveField:
      return receive_;
    case kTransmitField:
      return transmit_;
    default:
      return nullptr;
  }
}

void UrlDialog::Confirm() {
  // Each slot takes at most 1023 characters of its field.
  settings_.SetCameraUrls({image_->text().toStdString(), receive_->text().toStdString(),
                           transmit_->text().toStdString()});
  settings_.SaveParameters();  // a failed save is silent; the URLs stay in force for this run
  done(1);
}

void UrlDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CentreOverParent(this, parentWidget());
}

}  // namespace vantorel
