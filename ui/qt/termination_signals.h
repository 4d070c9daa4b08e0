// SIGTERM and SIGINT as calls on the Qt event loop, so that the program can end the way a user
// ends it (the search stopped, the engine and its proxy guard released, everything freed)
// rather than being cut off by the signal's default action.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace pradex {

class TerminationSignals : public QObject {
 public:
  // Installs the handlers; `onSignal` runs on the event loop's thread with the signal's number,
  // once for the first signal. A second signal gets the default action and ends the process
  // at once, for a user who will not wait for the orderly end. One instance at a time.
  explicit TerminationSignals(std::function<void(int signalNumber)> onSignal);
  // Restores the default actions.
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // The signal that arrived first, or 0.
  int Received() const { return received; }

 private:
  void Drain();

  std::function<void(int)> onSignal;
  std::unique_ptr<QSocketNotifier> notifier;
  int received = 0;
};

}  // namespace pradex
