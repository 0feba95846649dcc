// Screenshots of the start-up windows: the splash, the tip of the day and
// the about window.
#include <QApplication>
#include <QWidget>
#include <cstdio>

#include "FlashForm.h"
#include "MainFormParts.h"
#include "Shots.h"
#include "TipForm.h"

namespace kv {
namespace {

// Shows `window`, lets it lay out and paint, and writes its picture as
// "<objectName>-<suffix>.png".
void Grab(QWidget& window, const QString& outDir, const QString& suffix) {
  window.show();
  QApplication::processEvents();
  const QString file = QString("%1/%2-%3.png").arg(outDir, window.objectName(), suffix);
  if (!window.grab().save(file, "PNG")) std::fprintf(stderr, "vandrel-shots: cannot write %s\n", qPrintable(file));
  window.hide();
}

}  // namespace

void ShootStartup(const QString& outDir, const QString& suffix, const QString&) {
  TFlashForm splash;
  Grab(splash, outDir, suffix);
  TTipForm tips;
  tips.LoadTips();
  Grab(tips, outDir, suffix);
  TAboutWnd about;
  Grab(about, outDir, suffix);
}

}  // namespace kv
