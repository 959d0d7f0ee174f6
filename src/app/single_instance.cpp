#include "app/single_instance.hpp"

#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace lumenfolio {
namespace {

const QByteArray kActivate = "activate\n";
constexpr int kSocketWaitMs = 1000;
constexpr unsigned long kRetryPauseMs = 100;

QString baseName() {
  return QStringLiteral("lumenfolio-exporter-%1").arg(::getuid());
}

}  // namespace

SingleInstance::SingleInstance(const QString& folder)
    : lockPath_(QDir(folder).filePath(baseName() + ".lock")),
      serverName_(QDir(folder).filePath(baseName() + ".socket")),
      lock_(lockPath_) {
  // A running instance may be up for weeks: only a dead owner makes the lock stale.
  lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

bool SingleInstance::acquire(std::function<void()> onActivate) {
  QDir().mkpath(QFileInfo(lockPath_).path());
  if (!lock_.tryLock(0)) return false;
  onActivate_ = std::move(onActivate);
  // Holding the lock, any socket file left behind belongs to a crashed owner.
  QLocalServer::removeServer(serverName_);
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(),
                   [this] { accept(); });
  // Without the socket this is still the one instance; later starts just
  // cannot bring it forward.
  server_->listen(serverName_);
  return true;
}

void SingleInstance::accept() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    const auto read = [this, socket] {
      if (!socket->canReadLine()) return;
      if (socket->readLine() == kActivate && onActivate_) onActivate_();
      socket->disconnectFromServer();
    };
    QObject::connect(socket, &QLocalSocket::readyRead, socket, read);
    read();
  }
}

bool SingleInstance::activateRunning(std::chrono::milliseconds patience) const {
  QElapsedTimer waited;
  waited.start();
  do {
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (socket.waitForConnected(kSocketWaitMs)) {
      socket.write(kActivate);
      return socket.waitForBytesWritten(kSocketWaitMs);
    }
    QThread::msleep(kRetryPauseMs);
  } while (waited.elapsed() < patience.count());
  return false;
}

}  // namespace lumenfolio
