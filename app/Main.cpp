// vandrel: the desktop program.
#include <QApplication>
#include <QMainWindow>

#include "editors/QtMainThread.h"
#include "editors/QtUserInterface.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  kv::TQtMainThreadScope mainThread;
  kv::TQtUserInterface ui;
  kv::IUserInterface* headless = kv::SetUserInterface(&ui);
  QMainWindow window;
  window.setObjectName("MainForm");
  window.show();
  const int rc = app.exec();
  kv::SetUserInterface(headless);
  return rc;
}
