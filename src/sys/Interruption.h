// Interruption: turns every signal that another process (or a limit) sends
// to end the program into a request to stop between two transactions,
// instead of an end in the middle of a write, or an end with no word.
//
// catchSignals() installs the handlers, which only note the first signal:
// SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
// SIGPROF, SIGXCPU, SIGXFSZ, SIGPOLL, SIGPWR, SIGSTKFLT and the real-time
// signals; one of them blocked when the program started is unblocked.
// Left alone: a signal ignored when the program started, SIGPIPE
// (ignored instead: output that can't be written is lost, and the exit
// status stays the run's own), and the faults that mean the process itself
// is broken (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT).
// SIGKILL and SIGSTOP can't be caught, nor signals 32 and 33, which the C
// library keeps for itself (SIGRTMIN, the first caught, is above them). A
// program calls catchSignals() first thing in main: before that, nothing
// can catch a signal.
//
// The batch loop asks pending() before it reads each transaction, and
// after the reading, also one that found none left; once it has stopped
// and said where, endAsSignalled() ends the process as the signal would
// have: the default action restored and the signal raised again, so that
// the shell sees it.
#ifndef EMPUPDATE_SYS_INTERRUPTION_H_
#define EMPUPDATE_SYS_INTERRUPTION_H_

#include <string>

class Interruption {
 public:
  static void catchSignals();
  // The first signal caught, or 0. Of signals that come at the same
  // instant, the lowest numbered counts as first.
  static int pending();
  // Its name, as "SIGINT" or "SIGRTMIN+3".
  static std::string name(int signal);
  [[noreturn]] static void endAsSignalled(int signal);
};

#endif  // EMPUPDATE_SYS_INTERRUPTION_H_
