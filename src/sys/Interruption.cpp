#include "Interruption.h"

#include <signal.h>

#include <cstdlib>

namespace {

volatile sig_atomic_t caught = 0;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void note(int signal) {
  if (caught == 0) caught = signal;
}

}  // namespace

void Interruption::catchSignals() {
  struct sigaction action = {};
  action.sa_handler = note;
  sigemptyset(&action.sa_mask);
  // System calls resume: a record write is finished, not cut short.
  action.sa_flags = SA_RESTART;
  for (int s : kSignals) {
    // A signal ignored when the program started (nohup, a background job)
    // stays ignored.
    struct sigaction old;
    if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) {
      continue;
    }
    ::sigaction(s, &action, nullptr);
  }
}

int Interruption::pending() { return caught; }

const char* Interruption::name(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
  }
  return "a signal";
}

void Interruption::endAsSignalled(int signal) {
  ::signal(signal, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signal);
  std::_Exit(128 + signal);  // not reached
}
