#include "Interruption.h"

#include <signal.h>
#include <string.h>

#include <cstdlib>

namespace {

volatile sig_atomic_t caught = 0;

// Those whose default action ends the process and that come from outside
// it; the real-time signals are added to them.
constexpr int kSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM,  SIGUSR1,
                            SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,  SIGXCPU,
                            SIGXFSZ, SIGPOLL, SIGPWR,    SIGSTKFLT};

void note(int signal) {
  if (caught == 0) caught = signal;
}

void catchSignal(int s, sigset_t* caughtSet) {
  struct sigaction action = {};
  action.sa_handler = note;
  // Every other signal waits while one is noted, so that the first one
  // stays the one noted.
  sigfillset(&action.sa_mask);
  // System calls resume: a record write is finished, not cut short. A
  // write past a file-size limit still fails, with EFBIG, whether
  // SIGXFSZ is caught or not.
  action.sa_flags = SA_RESTART;
  struct sigaction old;
  if (::sigaction(s, &action, &old) != 0) return;
  // A signal ignored when the program started (nohup, a background job)
  // stays ignored: put back at once, while every signal is blocked, so
  // that none sent in between is caught. Ignoring it again discards one
  // that came meanwhile.
  if (old.sa_handler == SIG_IGN) {
    ::sigaction(s, &old, nullptr);
  } else {
    sigaddset(caughtSet, s);
  }
}

}  // namespace

void Interruption::catchSignals() {
  // A standard error that nobody reads any more must not end the run: the
  // message is lost, and the status stays the run's.
  ::signal(SIGPIPE, SIG_IGN);
  // One call a signal, not a look at its action and then a change: the
  // signals wait, blocked, while the handlers go in.
  sigset_t all, before;
  sigfillset(&all);
  ::sigprocmask(SIG_BLOCK, &all, &before);
  // Zero-filled where declared, so that no path reads it uninitialised.
  sigset_t set{};
  sigemptyset(&set);
  for (int s : kSignals) catchSignal(s, &set);
  for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) catchSignal(s, &set);
  // Then the mask is as it was, but for the signals caught: one blocked by
  // whoever started the run would wait, unseen, until the end, so it is
  // let through, to stop the run as any other. Unblocked, not set: a mask
  // set by the C library leaves out the two signals it keeps for itself,
  // which would unblock them.
  sigset_t release = all;
  for (int s = 1; s < NSIG; ++s) {
    if (sigismember(&before, s) == 1 && sigismember(&set, s) != 1) {
      sigdelset(&release, s);
    }
  }
  ::sigprocmask(SIG_UNBLOCK, &release, nullptr);
}

int Interruption::pending() { return caught; }

std::string Interruption::name(int signal) {
  if (signal >= SIGRTMIN && signal <= SIGRTMAX) {
    return "SIGRTMIN+" + std::to_string(signal - SIGRTMIN);
  }
  // Every other signal caught has a name of its own.
  return std::string("SIG") + ::sigabbrev_np(signal);
}

void Interruption::endAsSignalled(int signal) {
  ::signal(signal, SIG_DFL);
  sigset_t set{};
  sigemptyset(&set);
  sigaddset(&set, signal);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signal);
  std::_Exit(128 + signal);  // not reached
}
