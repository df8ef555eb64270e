// Batch: one run of a batch, the engine that empupdate, its dry run and the
// tests all drive.
//
// startUp() indexes employee.dat and opens emptrans.dat; applyAll() then
// reads the transactions one by one in file order and applies each
// (EmpTrans::process) before reading the next, counting those applied. The
// run stops at EmpTrans::NoMore or Employee::NoSuch, which it raises like
// every other error; it also stops when a signal asked it to (Interrupted),
// before it reads the next transaction, or before it applies one whose
// reading the signal came during.
//
// empupdate's main calls the two stages itself, with the catches that
// decide its exit status. run() does the same for the dry run and the tests
// and catches everything, returning how the run ended. What "apply" does to
// the records is decided beneath: the real run writes employee.dat, and the
// dry run the copy in memory that DryRun gives it.
#ifndef EMPUPDATE_BATCH_BATCH_H_
#define EMPUPDATE_BATCH_BATCH_H_

#include <cstdint>
#include <string>

#include "EmpTrans.h"

class Batch {
 public:
  enum class Stage { kStartUp, kLoop };

  // emptrans.dat is employee.dat itself (a link to it).
  struct SameFile {};
  // A signal asked the run to stop; no transaction after the last one
  // applied was read.
  struct Interrupted {};

  // Sees each transaction applied, for a report of the run.
  class Observer {
   public:
    virtual ~Observer() = default;
    // Before `t`, read from the line EmpTrans::line(), is applied.
    virtual void before(const EmpTrans& t) = 0;
    // After it has been applied.
    virtual void after(const EmpTrans& t) = 0;
  };

  // How a run ended, as empupdate would report it.
  struct Ending {
    int status = 0;          // 0, 1 or 2
    std::string diagnostic;  // its line of standard error, when status != 0
    bool unknownEmployee = false;  // stopped at a change or delete of
    std::int32_t unknownId = 0;    // this employee number
    long line = 0;  // line of the transaction it stopped at, or 0
  };

  // Indexes employee.dat, then opens emptrans.dat and refuses it when it is
  // the same file (SameFile).
  static void startUp();
  // The transaction loop; ends only by raising.
  static void applyAll(Observer* observer = nullptr);

  // Both stages, every error caught, and emptrans.dat closed again.
  static Ending run(Observer* observer = nullptr);

  static Stage stage() { return stage_; }
  // Transactions applied so far.
  static long applied() { return applied_; }
  // The line a diagnostic names: that of the failing transaction, or, when
  // the run was interrupted, the one where the next would be read.
  static long line();
  // The diagnostic line, with its line end, for the error in flight.
  static std::string diagnostic(const char* program);

  // Ends the process for an error that main does not catch: the diagnostic
  // on standard error and status 2, or, after an interruption, the way the
  // signal would have ended it. Nothing is cleaned up.
  [[noreturn]] static void endOnError();

 private:
  static Stage stage_;
  static long applied_;
  static std::int32_t id_;  // of the transaction being applied
  static long interruptedAt_;  // where the run resumes, once interrupted
};

#endif  // EMPUPDATE_BATCH_BATCH_H_
