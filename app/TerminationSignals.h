// SIGTERM, SIGINT and SIGHUP (a session ending, Ctrl+C in a terminal, a
// closed terminal) turned into a signal of the GUI thread, so that the
// program ends through its normal closing steps instead of dying with the
// job group, the settings and the window layout unsaved.
//
// The handler only writes one byte to a socket pair (async-signal-safe);
// a QSocketNotifier on the other end raises Requested() in the event loop.
// A signal arriving before the event loop runs is kept until it does.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace kv {

class TTerminationSignals : public QObject {
  Q_OBJECT
public:
  // Installs the handlers; one object per process (a second one throws
  // std::logic_error). The handlers are restored to the defaults when the
  // object is destroyed.
  explicit TTerminationSignals(QObject* parent = nullptr);
  ~TTerminationSignals() override;

  // Starts raising Requested(), from the event loop; a signal that came
  // earlier is raised then. Call it once Requested() is connected.
  void Arm();

signals:
  // The number of the signal that asked the program to end.
  void Requested(int signal);

private:
  void Drain();

  QSocketNotifier* notifier_ = nullptr;  // owned as a child
};

}  // namespace kv
