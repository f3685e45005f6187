#pragma once
// One running program per user and program directory. A second start asks the first to
// come to the front, then ends.

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace vantorel {

// The local socket name for this user and program directory.
QString InstanceName(const QString& program_directory);

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  explicit SingleInstance(const QString& program_directory, QObject* parent = nullptr);
  // True when this process is now the only instance. False when another one answered;
  // it has been asked to come to the front.
  bool Claim();

 signals:
  void activationRequested();

 private:
  QString name_;
  QLocalServer server_;
};

}  // namespace vantorel
