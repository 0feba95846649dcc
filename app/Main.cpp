// vandrel: the desktop program. Start order: the application and its title,
// the main-thread dispatcher and the message hook, the single-instance
// check (a later start brings the first to the front and ends), the
// splash, the main window, and a one-shot timer whose tick closes the
// splash and runs the main window's first tick; then the event loop.
#include <QApplication>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include "FlashForm.h"
#include "JustOne.h"
#include "editors/QtMainThread.h"
#include "editors/QtUserInterface.h"

namespace {

constexpr int kFirstTickMs = 1000;

// Restores the user interface the libraries had when the scope ends.
class TUserInterfaceScope {
public:
  explicit TUserInterfaceScope(kv::IUserInterface* ui) : previous_(kv::SetUserInterface(ui)) {}
  ~TUserInterfaceScope() { kv::SetUserInterface(previous_); }
  TUserInterfaceScope(const TUserInterfaceScope&) = delete;
  TUserInterfaceScope& operator=(const TUserInterfaceScope&) = delete;

private:
  kv::IUserInterface* previous_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("vandrel");
  QApplication::setOrganizationName("Vandrelworks");
  QApplication::setWindowIcon(QIcon(":/vandrel/vandrel.svg"));
  kv::TQtMainThreadScope mainThread;
  kv::TQtUserInterface ui;
  TUserInterfaceScope uiScope(&ui);

  kv::TKVJustOne justOne;
  justOne.ActivatePrevious = true;
  justOne.CheckRunning();
  if (justOne.AlreadyRunning()) return 0;

  auto splash = new kv::TFlashForm;
  splash->setAttribute(Qt::WA_DeleteOnClose);
  splash->CenterOn(nullptr);
  splash->ShowNow();
  QPointer<kv::TFlashForm> splashAlive(splash);

  auto window = std::make_unique<QMainWindow>();
  window->setObjectName("MainForm");
  ui.SetParent(window.get());
  justOne.SetMainWindow(window.get());
  window->show();

  QTimer::singleShot(kFirstTickMs, window.get(), [splashAlive] {
    if (splashAlive) splashAlive->close();
  });
  const int rc = app.exec();
  // No worker may wait for the GUI thread from here on.
  mainThread.Dispatcher().Shutdown();
  window.reset();
  return rc;
}
