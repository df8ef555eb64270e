// Batch: one run of a batch, the engine that empupdate, its dry run and the
// tests all drive.
//
// startUp() indexes employee.dat and opens emptrans.dat, at the line the
// run starts at (the first, unless told otherwise); applyAll() then
// reads the transactions one by one in file order and applies each
// (EmpTrans::process) before reading the next, counting those applied. The
// run stops at EmpTrans::NoMore or Employee::NoSuch, which it raises to
// its caller; it also stops when a signal asked it to, before it reads the
// next transaction, or before it applies one whose reading the signal came
// during, also when that reading found none left. Any other error ends the
// process there: the diagnostic on standard error, naming the line to
// resume from, and status 2, or, after a signal, the end the signal would
// have made. Nothing is cleaned up on that path.
//
// empupdate's main calls those two stages, with the catches that decide
// its exit status. run() does the same for the dry run and the tests, and
// returns how the run ended instead; it goes on after each transaction
// that fails, as if it were left out, and tells its observer of every
// mistake. What "apply" does to the records is decided beneath:
// the real run writes employee.dat, and the dry run the copy in memory
// that DryRun gives it.
//
// With a control file (--control), startUp() and run() first read the
// whole batch without applying any of it (firstPass()), and refuse it,
// nothing applied, unless every transaction reads, every change or delete
// names an employee the run would find, and every total of the control
// file is the batch's; then the reader goes back to the start line, on
// the same descriptor, and the batch runs as usual.
//
// What the run learns (the transaction read, what the reader found, the
// count applied) is this object's, and travels from here as values.
#ifndef EMPUPDATE_BATCH_BATCH_H_
#define EMPUPDATE_BATCH_BATCH_H_

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Control.h"
#include "EmpTrans.h"
#include "Reading.h"
#include "RunJournal.h"

class CommandLine;

class Batch {
 public:
  // emptrans.dat is employee.dat itself (a link to it).
  struct SameFile {};
  // A signal asked the run to stop; no transaction after the last one
  // applied was read.
  struct Interrupted {};

  // Sees each transaction, for a report of the run.
  class Observer {
   public:
    virtual ~Observer() = default;
    // Before `t`, read as `r` says, is applied.
    virtual void before(const EmpTrans& t, const Reading& r) = 0;
    // After it has been applied.
    virtual void after(const EmpTrans& t, const Reading& r) = 0;
    // A transaction that failed to read: r.error() says why.
    virtual void mistake(const Reading&) {}
    // A change or delete of an employee number the file does not hold, and
    // the message the run writes for it on standard error.
    virtual void unknown(std::int32_t, const std::string&, const Reading&) {}
    // The reader found no transaction left.
    virtual void ended(const Reading&) {}
    // The run stops here, at its first failure: nothing after it would be
    // applied, and nothing has been done yet past what was applied.
    virtual void stopped() {}
  };

  // How a run ended, as empupdate would report it.
  struct Ending {
    int status = 0;            // 0, 1 or 2
    std::string diagnostic;    // its line of standard error, when status != 0
    std::exception_ptr error;  // what ended it so, when status != 0
    bool unknownEmployee = false;  // stopped at a change or delete of
    std::int32_t unknownId = 0;    // this employee number, with
    std::string message;           // the run's message for it
    long line = 0;      // line of the transaction it stopped at, or 0
    long applied = 0;   // transactions applied before it stopped
    long mistakes = 0;  // failed transactions after the first
  };

  // A run of the whole batch (`firstLine` 0), or one that starts at the
  // line `firstLine` of emptrans.dat (see firstLine()), leaving the lines
  // before it unread, which never creates emptrans.dat. Every line number
  // it tells is still that of the whole file; the count of transactions
  // applied counts from there.
  explicit Batch(long firstLine = 0) : firstLine_(firstLine) {}

  // The line that `given`, the text of --from, asks a run to start at:
  // a positive decimal number, the number of a line of emptrans.dat that
  // begins, after white space, with a type letter, as the run's reader
  // reads the file (modifstream). emptrans.dat is only read, never
  // created, and a FIFO or device is refused by its type without being
  // opened. Returns 0 when it can't be, and `why` then says why, in lower
  // case, with no final period.
  static long firstLine(const std::string& given, std::string& why);
  // The line the run starts at, or 0 for the whole batch.
  long startLine() const { return firstLine_; }

  // Indexes employee.dat, then opens emptrans.dat and refuses it when it is
  // the same file (SameFile), then, with a control file, reads the batch
  // through first. Raises Employee::CantOpenFile and
  // EmpTrans::CantOpenFile; ends the process on any other error, and when
  // the control file refuses the batch.
  void startUp();
  // The transaction loop; ends only by raising EmpTrans::NoMore or
  // Employee::NoSuch, or by ending the process.
  void applyAll();

  // Both stages, every error caught, and emptrans.dat closed again on every
  // path. After a transaction that fails (a syntax error, an unknown
  // employee) it reads on from the next transaction, as if that one were
  // left out, but for the number a failed add takes (a stand-in record
  // takes it); the ending stays that of the first failure. The message for
  // an unknown employee is not written: the ending and the observer have it.
  Ending run(Observer* observer = nullptr);

  // Reads the command line of a run with `cl`, for empupdate and empcheck
  // (with its own options, `more`) alike: --from LINE (see firstLine()),
  // --control FILE (read at once, see Control: one it refuses ends the
  // program with status 2), and no operand, "--" neither. Returns -1 to go
  // on, or the exit status when the program is done.
  int readCommandLine(CommandLine& cl, int argc, char** argv,
                      std::vector<std::string> more = {});
  // Has the run keep a journal in `file` (see RunJournal): taken up at
  // start-up, written before every record. startUp() and applyAll() only.
  void keepJournal(const std::string& file);

 private:
  // kFirstPass: a control file's reading of the whole batch, which
  // applies nothing.
  enum class Stage { kStartUp, kFirstPass, kLoop };

  void startUpStage();
  // Records in `ending` the first failure of a run, `error`, which ends it
  // with `status`, and tells `observer`; a later one changes nothing.
  void stop(Ending& ending, Observer* observer, int status,
            const std::exception_ptr& error) const;
  // run()'s start-up, and its first pass with a control file; false when
  // the loop can't follow.
  bool begin(Ending& ending, Observer* observer);
  // `messages`: where the transactions write, or null for standard error.
  void loop(Observer* observer, std::ostream* messages);
  // Reads the batch from the start line to its end, applying nothing, and
  // returns the run's diagnostics when it is refused for an unknown
  // employee or a total that differs, else an empty string. A transaction
  // that fails to read, and a signal, raise their errors, as in the loop.
  std::string firstPass();
  // Moves the reader back to the start line, on the same descriptor.
  void rewind();
  // After an add that failed to read, in a run that goes on: gives out
  // the number it would have taken.
  static void takeNumber();
  // The line a diagnostic names: that of the failing transaction, or, when
  // the run was interrupted, the one where the next would be read.
  long line() const;
  // The line a run given --from resumes at: the first of the failing
  // transaction, or, once interrupted, that of the next one; 0 when none
  // is known or left.
  long resumeLine() const;
  // The diagnostic line, with its line end, for `error`.
  std::string diagnostic(const std::exception_ptr& error) const;
  [[noreturn]] void endOnError(const std::exception_ptr& error) const;
  // Writes `text` on standard error and ends with status 2, or as the
  // signal that stopped the run would.
  [[noreturn]] void endWith(const std::string& text) const;

  Stage stage_ = Stage::kStartUp;
  long applied_ = 0;
  long firstLine_;
  long interruptedAt_ = 0;  // where the run stopped, once interrupted
  long resumeAt_ = 0;       // and the line of the next transaction, or 0: none
  std::int32_t id_ = 0;     // of the transaction being applied
  int openError_ = 0;       // why emptrans.dat could not be opened
  Reading reading_;         // of the transaction being read or applied
  std::optional<Control> control_;
  bool fromGiven_ = false;  // --from was given
  std::string journalName_;
  std::unique_ptr<RunJournal> journal_;
};

#endif  // EMPUPDATE_BATCH_BATCH_H_
