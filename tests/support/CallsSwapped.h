// CallsSwapped: the system calls of the table (SystemCalls) swapped for a
// test's own for the life of the object: all of them as given, or, from the
// real ones, those the test then sets. However the test leaves the scope, a
// failed assertion included, the real ones are back afterwards, so that no
// fault spills into what follows.
#ifndef EMPUPDATE_TESTS_SUPPORT_CALLSSWAPPED_H_
#define EMPUPDATE_TESTS_SUPPORT_CALLSSWAPPED_H_

#include "SystemCalls.h"

class CallsSwapped {
 public:
  explicit CallsSwapped(const SystemCalls& calls = SystemCalls::real()) {
    systemCalls = calls;
  }
  ~CallsSwapped() { systemCalls = SystemCalls::real(); }
  CallsSwapped(const CallsSwapped&) = delete;
  CallsSwapped& operator=(const CallsSwapped&) = delete;
};

#endif  // EMPUPDATE_TESTS_SUPPORT_CALLSSWAPPED_H_
