// empupdate: applies emptrans.dat to employee.dat, in the current directory.
// It takes no operands: --help and --version answer without touching a
// file; --from LINE starts the run at that line of emptrans.dat, once the
// line is found to begin with a type letter; --control FILE has the run
// check the batch against the totals of FILE before it applies any of it
// (see Batch and Control); --journal FILE keeps a journal that takes the
// run back or resumes it (see RunJournal); any other argument is a usage
// error (status 64) that opens nothing.
//
// Exit status: 0 when the transactions ran out, or when a change or delete
// named an unknown employee (reported on standard error); 1 when either
// file can be neither opened nor created at start-up (nothing is written);
// 2 for every other error, with one diagnostic line on standard error. On
// that path nothing is cleaned up, and employee.dat holds exactly the
// transactions before the failing one. A signal sent to end it (SIGINT,
// SIGTERM, SIGHUP and every other one Interruption names) stops the run
// between two transactions, with a diagnostic that names the line to
// resume from, and then ends it as the signal would.
#include <string>

#include "Batch.h"
#include "CommandLine.h"
#include "Control.h"
#include "EmpTrans.h"
#include "Employee.h"
#include "Interruption.h"
#include "StandardDescriptors.h"

namespace {

// The help, around the list of the kinds of transaction.
const char kWhat[] =
    "Applies the transactions of emptrans.dat to the employee records of\n"
    "employee.dat, both in the current directory, one at a time in file\n"
    "order; a missing file is created empty. Takes no operands.\n"
    "\n"
    "The transactions:\n";
const char kStatus[] =
    "\n"
    "Exit status: 0 the batch ran (a change or delete of an unknown\n"
    "employee stops it, with a message); 1 a file can be neither opened\n"
    "nor created; 2 any other error, with one line on standard error;\n"
    "64 a wrong command line; 128+N stopped by signal N between two\n"
    "transactions, with a diagnostic naming the line of emptrans.dat to\n"
    "resume from.\n"
    "\n"
    "  --from LINE  start at line LINE of emptrans.dat, which must begin\n"
    "               with a transaction's type letter, leaving the lines\n"
    "               before it unread (to resume a run that stopped there);\n"
    "               line numbers told are still those of the whole file\n"
    "  --control FILE  read the whole batch first, and apply none of it\n"
    "               (status 2) unless every transaction reads, every change\n"
    "               or delete names an employee the run would find, and\n"
    "               the totals of FILE are the batch's: NAME VALUE lines\n"
    "               (# starts a comment), amounts the sum of the amounts\n"
    "               and numbers that of the employee numbers written, each\n"
    "               NAME one of\n"
    "               ";
const char kJournal[] =
    "\n"
    "  --journal FILE  before each record is written, write to FILE what\n"
    "               puts it back (empundo FILE takes the run back); a FILE\n"
    "               that records this batch resumes it after the\n"
    "               transactions applied already, when those stand\n"
    "               unchanged; any other run it records is refused";
const char kOptions[] =
    "\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n";

}  // namespace

int main(int argc, char** argv) {
  // First of all, so that no signal sent to end it finds it without its
  // handlers: the handlers only note the signal, which touches no
  // descriptor, so this needs none open. One that comes before the run
  // starts stops it before its first transaction, with the usual
  // diagnostic. --help, --version and a usage error answer all the same,
  // with their own status: they open nothing, and take no time to stop.
  // A write past a file-size limit fails with EFBIG, which is reported,
  // instead of killing the process with a core dump.
  Interruption::catchSignals();
  // With 2 closed, the first file opened would receive the diagnostics.
  if (!StandardDescriptors::ensureOpen()) return 2;
  const std::string help = kWhat + EmpTrans::kindList("  ") + kStatus +
                           Control::choices() + kJournal + kOptions;
  CommandLine cl("empupdate", "[--from LINE] [--control FILE] [--journal FILE]",
                 help.c_str(), 2);
  Batch batch;
  if (const int done = batch.readCommandLine(cl, argc, argv, {"--journal="});
      done >= 0) {
    return done;
  }
  if (const std::string* journal = cl.value("--journal")) {
    if (journal->empty()) return cl.usageError("--journal: no file named");
    batch.keepJournal(*journal);
  }

  try {
    batch.startUp();
  } catch (Employee::CantOpenFile&) {
    return 1;
  } catch (EmpTrans::CantOpenFile&) {
    return 1;
  }

  try {
    batch.applyAll();
  } catch (EmpTrans::NoMore&) {
  } catch (Employee::NoSuch&) {
  }
  EmpTrans::closeFile();
  return 0;
}
