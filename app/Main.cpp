// vandrel: the desktop program. Start order: the application and its title,
// the main-thread dispatcher and the message hook, the single-instance
// check (a later start brings the first to the front and ends), the
// splash, the main window, and a one-shot timer whose tick closes the
// splash and runs the main window's first tick; then the event loop.
#include <QApplication>
#include <QPointer>
#include <QTimer>

#include "FlashForm.h"
#include "JustOne.h"
#include "MainForm.h"
#include "ProgramHooks.h"
#include "TerminationSignals.h"
#include "WindowLayout.h"
#include "editors/QtMainThread.h"
#include "editors/QtUserInterface.h"

namespace {

constexpr int kFirstTickMs = 1000;

// Where the main window will open: its stored bounds, when all are stored.
QRect StoredMainWindowBounds() {
  const kv::TWindowLayout layout = kv::ReadWindowLayout();
  if (!layout.Left || !layout.Top || !layout.Width || !layout.Height) return QRect();
  return QRect(*layout.Left, *layout.Top, *layout.Width, *layout.Height);
}

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
  // From here on a termination signal waits for the event loop, which ends
  // the program through the main window's closing steps.
  kv::TTerminationSignals terminationSignals;
  kv::TQtMainThreadScope mainThread;
  kv::TQtUserInterface ui;
  TUserInterfaceScope uiScope(&ui);

  kv::TKVJustOne justOne;
  justOne.ActivatePrevious = true;
  justOne.CheckRunning();
  if (justOne.AlreadyRunning()) return 0;

  auto splash = new kv::TFlashForm;
  splash->setAttribute(Qt::WA_DeleteOnClose);
  splash->CenterOn(StoredMainWindowBounds());
  splash->ShowNow();
  QPointer<kv::TFlashForm> splashAlive(splash);

  // The main window's constructor loads the job group and the settings.
  QPointer<QWidget> owner;
  auto window = std::make_unique<kv::TMainForm>(kv::ProgramHooks(owner));
  owner = window.get();
  ui.SetParent(window.get());
  justOne.SetMainWindow(window.get());
  window->show();
  QObject::connect(&terminationSignals, &kv::TTerminationSignals::Requested, window.get(),
                   [form = window.get()](int) { form->EndSession(); });
  terminationSignals.Arm();

  QTimer::singleShot(kFirstTickMs, window.get(), [splashAlive, form = window.get()] {
    if (splashAlive) splashAlive->close();
    form->FirstTimerTick();
  });
  const int rc = app.exec();
  // No worker may wait for the GUI thread from here on: the window's
  // destructor ends every run and frees the job group.
  mainThread.Dispatcher().Shutdown();
  ui.SetParent(nullptr);
  window.reset();
  return rc;
}
