// Helpers for driving the editor dialogs in tests: finding named widgets
// and acting on a modal window once it shows, so Execute/exec never blocks.
#pragma once

#include <QApplication>
#include <QListWidget>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace kvtest {

// The child of `form` named `name`; the test aborts when there is none.
template <class W>
W* Find(const QObject& form, const char* name) {
  W* w = form.findChild<W*>(name);
  if (!w) qFatal("no widget named %s", name);
  return w;
}

// Calls `act` with the first modal window of kind W that becomes active
// (checked every 10 ms for at most 10 s), from the event loop of whoever
// shows it. Gives up silently after the time limit: the waiting test fails.
template <class W>
void OnModal(std::function<void(W&)> act) {
  auto* timer = new QTimer;
  auto* tries = new int(0);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, act] {
    W* modal = qobject_cast<W*>(QApplication::activeModalWidget());
    if (!modal && ++*tries < 1000) return;
    timer->stop();
    timer->deleteLater();
    delete tries;
    if (modal) act(*modal);
  });
  timer->start(10);
}

inline QStringList ListItems(const QListWidget& list) {
  QStringList out;
  for (int i = 0; i < list.count(); ++i) out << list.item(i)->text();
  return out;
}

}  // namespace kvtest
