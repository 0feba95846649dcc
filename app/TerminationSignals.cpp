#include "TerminationSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace kv {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int gPair[2] = {-1, -1};  // [0] written by the handler, [1] read by the GUI thread

extern "C" void OnTerminationSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  // Nothing else is safe here; a full pair already holds a pending request.
  [[maybe_unused]] const ssize_t written = ::write(gPair[0], &byte, 1);
  errno = saved;
}

}  // namespace

TTerminationSignals::TTerminationSignals(QObject* parent) : QObject(parent) {
  if (gPair[0] >= 0) throw std::logic_error("termination signals are already handled");
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gPair) != 0)
    throw std::runtime_error("cannot make the socket pair for termination signals");
  notifier_ = new QSocketNotifier(gPair[1], QSocketNotifier::Read, this);
  notifier_->setEnabled(false);
  connect(notifier_, &QSocketNotifier::activated, this, &TTerminationSignals::Drain);
  struct sigaction action = {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : kSignals) sigaction(signal, &action, nullptr);
}

TTerminationSignals::~TTerminationSignals() {
  for (const int signal : kSignals) std::signal(signal, SIG_DFL);
  delete notifier_;
  ::close(gPair[0]);
  ::close(gPair[1]);
  gPair[0] = gPair[1] = -1;
}

void TTerminationSignals::Arm() { notifier_->setEnabled(true); }

void TTerminationSignals::Drain() {
  unsigned char byte = 0;
  int last = 0;
  while (::read(gPair[1], &byte, 1) == 1) last = byte;
  if (last) emit Requested(last);
}

}  // namespace kv
