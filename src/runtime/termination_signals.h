#pragma once
// How every program of ours takes Ctrl+C (SIGINT) and SIGTERM: as an event to end in order,
// never as a kill in the middle of a save or a talk.
//
// Made on the main thread before any other thread, it blocks both signals there (threads
// made later inherit the block) and opens a descriptor that becomes readable when one
// arrives: the window's event loop watches it, a command line tool waits on it. A signal sent
// before the program is ready waits until it is looked at. Destroyed, it puts the signal
// mask back (signals that came meanwhile are dropped).

#include <signal.h>

#include <chrono>

namespace vantorel {

// SIGPIPE would end the program when a peer closes a connection while we write to it
// (libcurl is told not to use signals, so it does not ignore it itself): ignored, so that
// the write fails with EPIPE and is reported like any lost connection.
void IgnoreBrokenPipe();

class TerminationSignals {
 public:
  TerminationSignals();
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // Readable once SIGINT or SIGTERM has come (-1 when it could not be made; the signals
  // then keep their usual effect).
  int fd() const { return fd_; }
  // Waits up to `limit` for a signal; true once one has come (also on every later call).
  bool Wait(std::chrono::milliseconds limit);
  bool Received() { return Wait(std::chrono::milliseconds(0)); }

 private:
  sigset_t set_{};
  sigset_t old_{};
  int fd_ = -1;
  bool received_ = false;
};

}  // namespace vantorel
