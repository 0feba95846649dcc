#include <QApplication>
#include <QDir>
#include <QWidget>

#include "app/shots/Shots.h"

namespace kv {

void ShootWindow(QWidget& window, const QString& outDir, const QString& name, const QString& suffix,
                 TShotEnd end) {
  window.show();
  QApplication::processEvents();
  window.grab().save(QDir(outDir).filePath(name + "-" + suffix + ".png"));
  if (end == TShotEnd::Hide)
    window.hide();
  else
    window.close();
}

}  // namespace kv
