#include "app/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialog_placement.h"
#include "app/strings.h"
#include "app/program_icon.h"
#include "runtime/version.h"

namespace vantorel {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutDialog");
  setWindowTitle("About Vantorel");
  setModal(true);
  auto* icon = new QLabel;
  icon->setObjectName("icon");
  icon->setPixmap(ProgramIconPixmap(32));
  auto* version = new QLabel("Vantorel Version " VANTOREL_VERSION);
  version->setObjectName("version");
  auto* jpeg = new QLabel(
      "This distribution contains the sixth public release of the Independent JPEG Group's free "
      "JPEG software.");
  jpeg->setObjectName("jpeg");
  jpeg->setWordWrap(true);
  auto* author = new QLabel("Vantorel for Linux, by the Vantorel developers.");
  author->setObjectName("author");
  author->setWordWrap(true);

  auto* texts = new QVBoxLayout;
  texts->addWidget(version);
  texts->addWidget(jpeg);
  texts->addWidget(author);
  auto* row = new QHBoxLayout;
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addLayout(texts, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] { done(kDialogOk); });
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
  // Narrow enough for the smallest window, and exactly as tall as the wrapped texts need
  // at that width, so that no line of them is cut.
  constexpr int kWidth = 300;
  setFixedSize(kWidth, layout->totalHeightForWidth(kWidth));
}

void AboutDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CentreOverParent(this, parentWidget());
}

}  // namespace vantorel
