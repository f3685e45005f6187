#include "app/visitors_dialog.h"

#include <QDialogButtonBox>
#include <QImageReader>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "app/dialog_placement.h"
#include "door/visitors.h"

namespace vantorel {

namespace {

const QSize kThumbnail(96, 72);
const QSize kLarge(320, 240);

// `path` decoded to fit `box` (never larger than it is), or a null image.
QImage Decoded(const QString& path, QSize box) {
  QImageReader reader(path);
  reader.setAutoTransform(true);
  const QSize size = reader.size();
  if (size.isValid() && (size.width() > box.width() || size.height() > box.height())) {
    reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatio));
  }
  return reader.read();
}

// "20261209-083005-2.jpg" -> "12/09 08:30:05"
QString Caption(const VisitorPicture& p) {
  const QString s = QString::fromStdString(p.stamp);
  return s.mid(4, 2) + "/" + s.mid(6, 2) + " " + s.mid(9, 2) + ":" + s.mid(11, 2) + ":" + s.mid(13, 2);
}

}  // namespace

VisitorsDialog::VisitorsDialog(QWidget* parent, std::string dir) : QDialog(parent), dir_(std::move(dir)) {
  setObjectName("VisitorsDialog");
  setWindowTitle("来訪者");
  setModal(true);
  picture_ = new QLabel("来訪者の写真を選んでください");
  picture_->setObjectName("picture");
  picture_->setAlignment(Qt::AlignCenter);
  picture_->setFixedSize(kLarge);
  list_ = new QListWidget;
  list_->setObjectName("list");
  list_->setViewMode(QListView::IconMode);
  list_->setIconSize(kThumbnail);
  list_->setResizeMode(QListView::Adjust);
  list_->setMovement(QListView::Static);
  list_->setSpacing(4);
  connect(list_, &QListWidget::currentItemChanged, this, [this] { Chosen(); });
  auto* buttons = new QDialogButtonBox;
  buttons->addButton("閉じる", QDialogButtonBox::RejectRole)->setObjectName("close");
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(picture_, 0, Qt::AlignHCenter);
  layout->addWidget(list_, 1);
  layout->addWidget(buttons);
  resize(440, 520);
  loader_ = std::thread([this] { Load(); });
}

VisitorsDialog::~VisitorsDialog() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  loader_.join();
}

void VisitorsDialog::Load() {
  const auto stopping = [this] {
    std::lock_guard lock(mutex_);
    return stopping_;
  };
  // A picture asked for at full size goes before the thumbnails still to come.
  const auto serve_large = [this] {
    std::optional<QString> wanted;
    {
      std::lock_guard lock(mutex_);
      wanted = std::exchange(large_wanted_, std::nullopt);
    }
    if (!wanted) return;
    const QImage image = Decoded(*wanted, kLarge);
    QMetaObject::invokeMethod(this, [this, path = *wanted, image] { ShowLarge(path, image); }, Qt::QueuedConnection);
  };
  const std::vector<VisitorPicture> pictures = ListVisitors(dir_);
  if (pictures.empty()) {
    QMetaObject::invokeMethod(this, [this] { picture_->setText("来訪者の写真はありません"); }, Qt::QueuedConnection);
  }
  for (auto p = pictures.rbegin(); p != pictures.rend() && !stopping(); ++p) {
    serve_large();
    const QString path = QString::fromStdString(dir_ + "/" + p->name);
    const QImage thumbnail = Decoded(path, kThumbnail);
    QMetaObject::invokeMethod(
        this, [this, caption = Caption(*p), path, thumbnail] { AddThumbnail(caption, path, thumbnail); },
        Qt::QueuedConnection);
  }
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || large_wanted_; });
      if (stopping_) return;
    }
    serve_large();
  }
}

void VisitorsDialog::AddThumbnail(const QString& caption, const QString& path, const QImage& thumbnail) {
  auto* item = new QListWidgetItem(QIcon(QPixmap::fromImage(thumbnail)), caption, list_);
  item->setData(Qt::UserRole, path);
  ++loaded_;
  if (list_->count() == 1) list_->setCurrentItem(item);  // the newest is shown at once
}

void VisitorsDialog::Chosen() {
  const QListWidgetItem* item = list_->currentItem();
  if (!item) return;
  {
    std::lock_guard lock(mutex_);
    large_wanted_ = item->data(Qt::UserRole).toString();
  }
  wake_.notify_all();
}

void VisitorsDialog::ShowLarge(const QString& path, const QImage& image) {
  const QListWidgetItem* item = list_->currentItem();
  if (!item || item->data(Qt::UserRole).toString() != path) return;  // another was chosen since
  if (image.isNull()) {
    picture_->setText("この写真を読めません");
  } else {
    picture_->setPixmap(QPixmap::fromImage(image));
  }
}

void VisitorsDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CentreOverParent(this, parentWidget());
}

}  // namespace vantorel
