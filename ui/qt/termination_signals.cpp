#include "ui/qt/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <stdexcept>
#include <utility>

namespace pradex {

namespace {

// The self-pipe: the handler may only make async-signal-safe calls, so it writes the signal's
// number there and the event loop reads it.
int gPipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int signalNumber) {
  const int savedErrno = errno;
  const unsigned char byte = static_cast<unsigned char>(signalNumber);
  // A full pipe already holds a signal that the loop will see.
  static_cast<void>(write(gPipe[1], &byte, 1));
  errno = savedErrno;
}

constexpr int kSignals[] = {SIGTERM, SIGINT};

}  // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal)
    : onSignal(std::move(onSignal)) {
  if (gPipe[0] >= 0) throw std::logic_error("one TerminationSignals at a time");
  if (pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    gPipe[0] = gPipe[1] = -1;
    throw std::runtime_error("TerminationSignals: no pipe");
  }
  notifier = std::make_unique<QSocketNotifier>(gPipe[0], QSocketNotifier::Read);
  connect(notifier.get(), &QSocketNotifier::activated, this, [this] { Drain(); });

  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  // SA_RESTART: the signal must not make a system call of the program fail.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  for (const int signalNumber : kSignals) sigaction(signalNumber, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
  for (const int signalNumber : kSignals) signal(signalNumber, SIG_DFL);
  notifier.reset();
  close(gPipe[0]);
  close(gPipe[1]);
  gPipe[0] = gPipe[1] = -1;
}

void TerminationSignals::Drain() {
  unsigned char byte = 0;
  int first = 0;
  while (read(gPipe[0], &byte, 1) == 1) {
    if (first == 0) first = byte;
  }
  if (first == 0 || received != 0) return;
  received = first;
  onSignal(received);
}

}  // namespace pradex
