#include "app/singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include "core/log.h"

namespace velquor {
namespace {

// How long a start waits for the running window to answer before it runs one itself.
constexpr int kHandOverMs = 5000;

QString userName() {
  QString name = qEnvironmentVariable("USER");
  if (name.isEmpty()) name = qEnvironmentVariable("USERNAME");
  return name;
}

}  // namespace

SingleInstance::SingleInstance(const QString& dataFolder, QObject* parent)
    : QObject(parent), lock_(QDir(dataFolder).filePath(QStringLiteral("velquor.lock"))) {
  QDir().mkpath(dataFolder);
  const QString folder = QFileInfo(dataFolder).absoluteFilePath();
  const QByteArray key = QCryptographicHash::hash((userName() + QLatin1Char('|') + folder).toUtf8(), QCryptographicHash::Sha1);
  serverName_ = QStringLiteral("velquor-") + QString::fromLatin1(key.toHex().left(16));
  // A lock is never stale by age: only when its process is gone (QLockFile checks that).
  lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim(const QString& rosterPath) {
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < kHandOverMs) {
    if (lock_.tryLock(0)) {
      listen();
      return true;
    }
    if (lock_.error() != QLockFile::LockFailedError) break;  // no lock can be taken here at all
    if (handOver(rosterPath)) return false;
    // The running window is still starting (not listening yet): ask again shortly.
    QThread::msleep(100);
  }
  // Neither the lock nor an answer: a window of its own rather than none.
  log::write("single window", lock_.error() == QLockFile::LockFailedError ? "the running window does not answer"
                                                                           : "the lock file cannot be written");
  return true;
}

bool SingleInstance::handOver(const QString& rosterPath) {
  QLocalSocket socket;
  socket.connectToServer(serverName_);
  if (!socket.waitForConnected(500)) return false;
  socket.write(QByteArrayLiteral("open\t") + rosterPath.toUtf8() + '\n');
  if (!socket.waitForBytesWritten(1000)) return false;
  // The answer says the window took it.
  while (!socket.canReadLine())
    if (!socket.waitForReadyRead(2000)) return false;
  return socket.readLine().startsWith("ok");
}

void SingleInstance::listen() {
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  // A socket left by a process that was killed would refuse the name.
  QLocalServer::removeServer(serverName_);
  if (!server_->listen(serverName_)) {
    log::write("single window", "cannot listen: " + server_->errorString().toStdString());
    return;
  }
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->canReadLine()) return;
        const QByteArray line = socket->readLine().trimmed();
        QString path;
        if (line.startsWith("open\t")) path = QString::fromUtf8(line.mid(5));
        socket->write("ok\n");
        socket->flush();
        log::write("single window", "another start handed over to this window", path.toStdString());
        emit activated(path);
      });
    }
  });
}

}  // namespace velquor
