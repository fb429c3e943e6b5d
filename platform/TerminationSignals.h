// Turns the signals that ask a process to end (SIGTERM, SIGINT, SIGHUP) into a
// request the program can poll or wait for, instead of the default action that
// kills it in the middle of writing an archive.
//
// While a TerminationSignals object exists, those three signals no longer end
// the process: the handler only records which signal came and makes a pipe
// readable (the self-pipe technique; both steps are async-signal-safe). The
// program then notices the request where it is safe to stop:
//   - Requested() / SignalNumber() can be polled from any thread (a backup
//     run's cancellation test, a GUI refresh timer);
//   - Wait() blocks until a request comes or a timeout passes;
//   - NotifyDescriptor() is readable from the first request on, for an event
//     loop that watches descriptors.
// At most one object may exist at a time. The destructor restores the handlers
// that were installed before; a request that came meanwhile is forgotten.
#pragma once

#include <string>

namespace platform {

class TerminationSignals {
 public:
  // Installs the handlers. The process must not already hold another
  // TerminationSignals object.
  TerminationSignals();
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // A termination signal has arrived since construction.
  bool Requested() const;

  // Requested() of the object that exists, false when there is none; for code
  // that cannot be handed the object (a read that waits for data).
  static bool Pending();

  // The number of the first signal that arrived (SIGTERM, SIGINT or SIGHUP),
  // or 0 when none has.
  int SignalNumber() const;

  // Blocks until a signal has arrived (true) or `timeoutMilliseconds` have
  // passed (false); a negative timeout waits without limit.
  bool Wait(int timeoutMilliseconds) const;

  // A descriptor that becomes readable when the first signal arrives and stays
  // readable. Owned by this object; do not read from or close it.
  int NotifyDescriptor() const;

 private:
  int pipe_[2] = {-1, -1};
};

// The system's description of signal `number`, e.g. "Terminated" for SIGTERM.
std::string SignalText(int number);

}  // namespace platform
