#include "app/single_instance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QLocalSocket>

namespace vantorel {

namespace {
constexpr int kConnectTimeoutMs = 500;
constexpr char kRaiseMessage[] = "raise\n";
}  // namespace

QString InstanceName(const QString& program_directory) {
  const QByteArray hash =
      QCryptographicHash::hash(program_directory.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
  return QStringLiteral("vantorel-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash));
}

SingleInstance::SingleInstance(const QString& program_directory, QObject* parent)
    : QObject(parent), name_(InstanceName(program_directory)) {
  connect(&server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* peer = server_.nextPendingConnection()) {
      connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
      connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
        if (peer->readAll().contains('\n')) emit activationRequested();
      });
    }
  });
}

bool SingleInstance::Claim() {
  QLocalSocket probe;
  probe.connectToServer(name_);
  if (probe.waitForConnected(kConnectTimeoutMs)) {
    probe.write(kRaiseMessage);
    probe.waitForBytesWritten(kConnectTimeoutMs);
    probe.disconnectFromServer();
    return false;
  }
  // Nobody answered: a socket file left by a crashed instance would block listen().
  QLocalServer::removeServer(name_);
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  return server_.listen(name_);
}

}  // namespace vantorel
