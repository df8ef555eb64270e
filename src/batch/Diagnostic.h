// Diagnostic: the one line of standard error for an error that ends a
// batch run, in the form
//   PROGRAM:FILE: WHAT                  (at start-up)
//   PROGRAM:emptrans.dat:LINE:COLUMN: WHAT; APPLIED; RESUME
//   PROGRAM:emptrans.dat:LINE: WHAT; APPLIED; RESUME
// where FILE is the file at fault and APPLIED "N transactions applied
// before it". A syntax error of a transaction takes the second form: LINE
// and COLUMN (from 1, in bytes) are where the field it blames starts, and
// WHAT names that field, quotes what was read there (escaped as names are
// shown, cut after 32 bytes) and says what the field should be: the words
// of the reader's finding. Another error of a transaction takes the
// third, with the line of its type letter; so does an interruption
// ("interrupted by SIGINT"). RESUME names the line a run given --from
// resumes at: the first line of the failing transaction, which a field
// blamed on a later line does not change ("resume with --from 12 once it
// is fixed"), or, after an interruption, that of the next transaction
// ("resume with --from 12"); a run that keeps a journal is resumed by
// running it again with the journal. It is left out, with its "; ", when
// no such line is known or none is left. WHAT is lower case, with no final
// period. This is the one place that maps each error class of the system
// to text.
#ifndef EMPUPDATE_BATCH_DIAGNOSTIC_H_
#define EMPUPDATE_BATCH_DIAGNOSTIC_H_

#include <exception>
#include <string>

#include "Finding.h"

class Diagnostic {
 public:
  // What the run knew when the error came, as values.
  struct Context {
    bool startUp = false;  // before the first transaction was read
    // The journal the run keeps, which resumes it, or null.
    const char* journal = nullptr;
    long line = 0;     // of the failing transaction
    long applied = 0;  // transactions applied before it
    // Why the transaction being read failed, for a syntax error; else null.
    const Finding* finding = nullptr;
    int openError = 0;  // why emptrans.dat could not be opened
    int readError = 0;  // errno of a read error on emptrans.dat
    int signal = 0;     // the signal that stopped the run
    long resumeAt = 0;  // the line to resume from, or 0: none is known
  };

  // What is wrong, for the error held by `error` (any type, or none), and
  // the file it concerns. The errno of a failure of employee.dat is the one
  // the error carries (Employee::Cause).
  static std::string what(const std::exception_ptr& error,
                          const Context& context, std::string* file = nullptr);

  // The whole diagnostic, with its line end.
  static std::string line(const char* program, const std::exception_ptr& error,
                          const Context& context);
};

#endif  // EMPUPDATE_BATCH_DIAGNOSTIC_H_
