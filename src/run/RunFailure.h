// RunFailure: the one-line diagnostic for an error that ends a batch run,
// in the form
//   PROGRAM:employee.dat: WHAT            (while indexing employee.dat)
//   PROGRAM:emptrans.dat:LINE: WHAT; N transactions applied before it
// where LINE is the line of the failing transaction's type letter. WHAT is
// lower case, with no final period. This is the one place that maps each
// error class of the system to its text.
#ifndef EMPUPDATE_RUN_RUNFAILURE_H_
#define EMPUPDATE_RUN_RUNFAILURE_H_

#include <exception>
#include <string>

class RunFailure {
 public:
  enum class Stage { kStartUp, kLoop };

  // What is wrong, for the error held by `error` (any type, or none).
  static std::string what(std::exception_ptr error, Stage stage);

  // The whole diagnostic, with its line end. `line` and `applied` are used
  // in the loop stage only.
  static std::string message(const char* program, std::exception_ptr error,
                             Stage stage, long line, long applied);
};

#endif  // EMPUPDATE_RUN_RUNFAILURE_H_
