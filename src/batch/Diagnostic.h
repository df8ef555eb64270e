// Diagnostic: the one line of standard error for an error that ends a
// batch run, in the form
//   PROGRAM:FILE: WHAT                  (at start-up)
//   PROGRAM:emptrans.dat:LINE:COLUMN: WHAT; N transactions applied before it
//   PROGRAM:emptrans.dat:LINE: WHAT; N transactions applied before it
// where FILE is the file at fault. A syntax error of a transaction takes
// the first form: LINE and COLUMN (from 1, in bytes) are where the field
// it blames starts, and WHAT names that field, quotes what was read there
// (escaped as names are shown, cut after 32 bytes) and says what the field
// should be. Another error of a transaction takes the second, with the
// line of its type letter. WHAT is lower case, with no final period.
// This is the one place that maps each error class of the system to text.
#ifndef EMPUPDATE_BATCH_DIAGNOSTIC_H_
#define EMPUPDATE_BATCH_DIAGNOSTIC_H_

#include <exception>
#include <string>

#include "EmpTrans.h"

class Diagnostic {
 public:
  // Where in emptrans.dat a syntax error stands; column 0 for another
  // error.
  struct Place {
    long line = 0;
    long column = 0;
  };

  // What is wrong, for the error held by `error` (any type, or none), the
  // file it concerns, and where a syntax error stands.
  static std::string what(std::exception_ptr error, bool startUp,
                          std::string* file = nullptr, Place* place = nullptr);

  // The name of a field of a transaction, as diagnostics and warnings give
  // it: "employee number", "amount"; "date" for kNone.
  static const char* fieldName(EmpTrans::Part p);

  // The whole diagnostic, with its line end. `line` and `applied` are used
  // after start-up only.
  static std::string line(const char* program, std::exception_ptr error,
                          bool startUp, long line, long applied);
};

#endif  // EMPUPDATE_BATCH_DIAGNOSTIC_H_
