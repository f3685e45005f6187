#pragma once
// "来訪者": the kept visitors' pictures, newest first, as thumbnails; the one chosen is shown
// larger above them. The folder is read and the pictures decoded on a thread of the
// dialog's, which hands each result to the window thread and ends with the dialog.

#include <QDialog>
#include <QImage>
#include <QString>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class QLabel;
class QListWidget;

namespace vantorel {

class VisitorsDialog : public QDialog {
  Q_OBJECT
 public:
  VisitorsDialog(QWidget* parent, std::string dir);
  ~VisitorsDialog() override;

  QListWidget* list() const { return list_; }
  QLabel* picture() const { return picture_; }
  // Pictures whose thumbnails have come (tests).
  int loaded() const { return loaded_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Load();  // the loader thread
  void AddThumbnail(const QString& name, const QString& path, const QImage& thumbnail);
  void ShowLarge(const QString& path, const QImage& image);
  void Chosen();

  const std::string dir_;
  QLabel* picture_;
  QListWidget* list_;
  int loaded_ = 0;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;                 // guarded by mutex_
  std::optional<QString> large_wanted_;   // a picture to decode at full size; guarded by mutex_
  std::thread loader_;
};

}  // namespace vantorel
