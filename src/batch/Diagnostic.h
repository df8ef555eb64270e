// Diagnostic: the one line of standard error for an error that ends a
// batch run, in the form
//   PROGRAM:FILE: WHAT                  (at start-up)
//   PROGRAM:emptrans.dat:LINE: WHAT; N transactions applied before it
// where FILE is the file at fault and LINE the line of the failing
// transaction's type letter. WHAT is lower case, with no final period.
// This is the one place that maps each error class of the system to text.
#ifndef EMPUPDATE_BATCH_DIAGNOSTIC_H_
#define EMPUPDATE_BATCH_DIAGNOSTIC_H_

#include <exception>
#include <string>

class Diagnostic {
 public:
  // What is wrong, for the error held by `error` (any type, or none), and
  // the file it concerns.
  static std::string what(std::exception_ptr error, bool startUp,
                          std::string* file = nullptr);

  // The whole diagnostic, with its line end. `line` and `applied` are used
  // after start-up only.
  static std::string line(const char* program, std::exception_ptr error,
                          bool startUp, long line, long applied);
};

#endif  // EMPUPDATE_BATCH_DIAGNOSTIC_H_
