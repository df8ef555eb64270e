// Interruption: turns SIGINT, SIGTERM and SIGHUP into a request to stop
// between two transactions, instead of ending the process in the middle of
// a write.
//
// catchSignals() installs the handlers, which only note the signal. The
// batch loop asks pending() before it reads each transaction; once it has
// stopped and said where, endAsSignalled() ends the process as the signal
// would have: the default action restored and the signal raised again, so
// that the shell sees it.
#ifndef EMPUPDATE_SYS_INTERRUPTION_H_
#define EMPUPDATE_SYS_INTERRUPTION_H_

class Interruption {
 public:
  static void catchSignals();
  // The first signal caught, or 0.
  static int pending();
  // Its name, as "SIGINT".
  static const char* name(int signal);
  [[noreturn]] static void endAsSignalled(int signal);
};

#endif  // EMPUPDATE_SYS_INTERRUPTION_H_
