// The single-instance guard of the desktop program.
//
// Instances are keyed by the application title (QCoreApplication::
// applicationName(), at most 255 characters) and the user: the first
// instance holds a lock on "<title>.instance" in the user's runtime folder
// ($XDG_RUNTIME_DIR when it is a folder of this user closed to others, else
// the private folder /tmp/<title>-<uid>, made with mode 0700) and
// listens on the local socket "<title>.socket" beside it. A later instance
// finds the lock taken, reports itself as already running and, when
// ActivatePrevious is set, asks the first one over the socket to come to
// the front; it then opens no window and ends.
//
// The lock is an open-file-description lock that the system drops when its
// holder ends however it ends, so a crashed instance never blocks the next
// start; the socket file it leaves is removed by the next holder of the
// lock before it listens.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QWidget;

namespace kv {

class TFileLock;

class TKVJustOne : public QObject {
  Q_OBJECT
public:
  explicit TKVJustOne(QObject* parent = nullptr);
  ~TKVJustOne() override;  // releases the lock and closes the socket

  // Bring the running instance to the front when another one starts.
  bool ActivatePrevious = true;
  // Called (with this object) when another instance is found; may be empty.
  std::function<void(TKVJustOne&)> OnAlreadyRunning;

  // Looks for another instance of the application title. When there is
  // none, this instance takes the lock and starts answering later ones.
  // Runs once; later calls do nothing. Must run in the GUI thread.
  void CheckRunning();
  bool AlreadyRunning() const { return alreadyRunning_; }
  // True once CheckRunning has run.
  bool Checked() const { return checked_; }

  // The window a later start brings to the front (not owned; may go away).
  void SetMainWindow(QWidget* window) { mainWindow_ = window; }

  // The runtime folder and socket used for `title` (the socket's full path).
  static QString RuntimeFolder(const QString& title);
  static QString SocketPath(const QString& title);

  // Restores `window` when it is minimized or hidden, raises and activates it.
  static void BringToFront(QWidget& window);

signals:
  // A later instance asked this one to come to the front (after the main
  // window, when set, has been brought there).
  void Activated();

private:
  void Listen(const QString& socketPath);
  void AcceptConnections();
  void AskPreviousToActivate(const QString& socketPath);

  bool checked_ = false;
  bool alreadyRunning_ = false;
  std::unique_ptr<TFileLock> lock_;
  QLocalServer* server_ = nullptr;  // owned by this object (Qt parent)
  QPointer<QWidget> mainWindow_;
};

}  // namespace kv
