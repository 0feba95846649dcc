#include "JustOne.h"

#include <sys/stat.h>
#include <cerrno>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QWidget>

#include "foundation/FileLock.h"

namespace kv {
namespace {

// The request a later instance sends; anything else is ignored.
constexpr char kActivateRequest[] = "activate\n";
constexpr qint64 kMaxRequest = 64;
constexpr int kConnectAttempts = 3;
constexpr int kConnectTimeoutMs = 1000;
constexpr unsigned long kRetryPauseMs = 200;

// The title as a file name: at most 255 characters, no folder separators.
QString TitleName(const QString& title) {
  QString name = title.left(255);
  name.replace('/', '_');
  if (name.isEmpty() || name == "." || name == "..") name = "application";
  return name;
}

// True for a real folder (no symbolic link) of this user that nobody else
// may use.
bool IsPrivateFolder(const QString& path) {
  struct stat st{};
  if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

// A folder under /tmp that only this user may use, created with mode 0700;
// empty when the name is taken by anything else.
QString PrivateTmpFolder(const QString& title) {
  const QString path = QString("/tmp/%1-%2").arg(TitleName(title)).arg(::getuid());
  if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST) return QString();
  return IsPrivateFolder(path) ? path : QString();
}

}  // namespace

TKVJustOne::TKVJustOne(QObject* parent) : QObject(parent) {}

TKVJustOne::~TKVJustOne() {
  if (server_ != nullptr) server_->close();
}

QString TKVJustOne::RuntimeFolder(const QString& title) {
  // Another user's processes must never see the lock or the socket.
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && IsPrivateFolder(runtime)) return runtime;
  return PrivateTmpFolder(title);
}

QString TKVJustOne::SocketPath(const QString& title) {
  const QString folder = RuntimeFolder(title);
  return folder.isEmpty() ? QString() : folder + "/" + TitleName(title) + ".socket";
}

void TKVJustOne::CheckRunning() {
  if (checked_) return;
  checked_ = true;
  alreadyRunning_ = false;
  const QString title = QCoreApplication::applicationName();
  const QString folder = RuntimeFolder(title);
  // Without a private folder the guard cannot work; the program still runs.
  if (folder.isEmpty()) return;
  const QString base = folder + "/" + TitleName(title);
  try {
    lock_ = TFileLock::TryAcquire(QFile::encodeName(base + ".instance").toStdString());
  } catch (const std::exception&) {
    return;  // a lock that cannot be made: run unguarded rather than not at all
  }
  if (lock_ != nullptr) {
    Listen(base + ".socket");
    return;
  }
  alreadyRunning_ = true;
  if (OnAlreadyRunning) OnAlreadyRunning(*this);
  if (ActivatePrevious) AskPreviousToActivate(base + ".socket");
}

void TKVJustOne::Listen(const QString& socketPath) {
  // Holding the lock, any socket file left there belongs to an instance that ended.
  QLocalServer::removeServer(socketPath);
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(socketPath)) return;
  connect(server_, &QLocalServer::newConnection, this, &TKVJustOne::AcceptConnections);
}

void TKVJustOne::AcceptConnections() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (socket->bytesAvailable() > kMaxRequest) {
        socket->abort();
        return;
      }
      if (!socket->canReadLine()) return;
      const QByteArray request = socket->readLine(kMaxRequest);
      socket->disconnectFromServer();
      if (request != kActivateRequest) return;
      if (mainWindow_ != nullptr) BringToFront(*mainWindow_);
      emit Activated();
    });
  }
}

void TKVJustOne::AskPreviousToActivate(const QString& socketPath) {
  for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
      // The first instance may hold the lock but not listen yet.
      QThread::msleep(kRetryPauseMs);
      continue;
    }
    socket.write(kActivateRequest);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return;
  }
}

void TKVJustOne::BringToFront(QWidget& window) {
  Qt::WindowStates state = window.windowState();
  if (state & Qt::WindowMinimized) window.setWindowState((state & ~Qt::WindowMinimized) | Qt::WindowActive);
  window.show();
  window.raise();
  window.activateWindow();
}

}  // namespace kv
