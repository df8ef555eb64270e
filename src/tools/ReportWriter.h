// ReportWriter: one form of empcheck's report. The report (empcheck's
// Report) decides what is said, and in what order: each transaction that
// would apply, each mistake, warning and note, and last how the run would
// end. A writer is handed each of those as a value and only words it:
// TextReport for a person, JsonReport for programs. Writers write to
// standard output through stdio and throw nothing but std::bad_alloc; an
// output error is found when the output is flushed at the end.
#ifndef EMPUPDATE_TOOLS_REPORTWRITER_H_
#define EMPUPDATE_TOOLS_REPORTWRITER_H_

#include <optional>
#include <string>
#include <vector>

#include "Batch.h"
#include "Employee.h"
#include "FileTotals.h"
#include "Sum.h"

class ReportWriter {
 public:
  // A transaction that would apply.
  struct Step {
    long line;                       // of its type letter
    int kind;                        // its place in EmpTrans::kinds()
    std::optional<Employee> before;  // the record it changes; none: an add
    Employee after;                  // that record once it applied
    std::string plan;                // as EmpTrans::plan words it
  };

  // A mistake, a warning or a note.
  struct Diagnostic {
    const char* file;
    long line;             // 0: of the file as a whole
    long column;           // 0: of no one field
    const char* severity;  // "error", "warning" or "note"
    std::string words;
  };

  // The control totals, when asked for: the batch's, as a control file
  // names them, and employee.dat's before and after the run.
  struct Totals {
    long from;  // the line the run starts at; 0: the whole batch
    std::vector<std::pair<std::string, Sum>> batch;
    std::optional<FileTotals> before, after;  // none: the file can't be read
  };

  // How the run would end, after what it would apply.
  enum class End { kNoneLeft, kUnknownEmployee, kError, kCannotOpen };
  struct Summary {
    std::vector<long> counts;  // applied before it ends, by kind
    End how;
    Batch::Ending end;
    // What is told of the ending: for kError the run's diagnostic, for
    // kCannotOpen its cause in empcheck's words (the run says nothing),
    // each with its line end; for kUnknownEmployee the run's message.
    std::string told;
    long mistakes, warnings;  // in all, listed or not
    long listed;              // at most this many of each are listed
    int status;               // the check's
    const Totals* totals = nullptr;
  };

  virtual ~ReportWriter() = default;
  virtual void step(const Step& s) = 0;
  virtual void diagnostic(const Diagnostic& d) = 0;
  virtual void summary(const Summary& s) = 0;
};

#endif  // EMPUPDATE_TOOLS_REPORTWRITER_H_
