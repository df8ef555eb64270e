// empcheck: the dry run of empupdate. In the current directory it tells,
// without creating or changing any file, how many transactions empupdate
// would apply and how its run would end, with the diagnostic empupdate
// would print.
//
// Exit status: 0 when the whole batch would apply; 3 when the run would
// stop at an unknown employee number; 2 when it would fail with an error;
// 1 when empupdate would end with status 1 (a file that can be neither
// opened nor created), or for a wrong command line.
//
// What it cannot foresee: a full disk or another I/O error while writing,
// and another program changing the files in between.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "Batch.h"
#include "CommandLine.h"
#include "DryRun.h"
#include "EmpTrans.h"
#include "StandardDescriptors.h"

namespace {

const char kHelp[] =
    "Tells what empupdate would do in the current directory, without\n"
    "creating or changing any file: how many transactions of emptrans.dat\n"
    "would apply to employee.dat, and how the run would end. A missing\n"
    "file counts as the empty file empupdate would create.\n"
    "\n"
    "Exit status: 0 the whole batch would apply; 3 the run would stop at\n"
    "an unknown employee number; 2 it would fail with an error; 1 a file\n"
    "could be neither opened nor created.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n";

struct Counts {
  long adds = 0, changes = 0, deletes = 0;
  long total() const { return adds + changes + deletes; }
};

std::string plural(long n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

void sayApplied(const Counts& c) {
  std::printf(
      "%s would apply: %s, %s, %s\n", plural(c.total(), "transaction").c_str(),
      plural(c.adds, "add").c_str(), plural(c.changes, "change").c_str(),
      plural(c.deletes, "delete").c_str());
}

// Counts what is applied, by kind.
struct Tally : Batch::Observer {
  Counts counts;
  void before(const EmpTrans&) override {}
  void after(const EmpTrans&) override {
    const char kind = EmpTrans::typeLetter();
    ++(kind == 'A'   ? counts.adds
       : kind == 'C' ? counts.changes
                     : counts.deletes);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (!StandardDescriptors::ensureOpen()) return 2;
  CommandLine cl("empcheck", "", kHelp);
  if (const int done = cl.parse(argc, argv, {}); done >= 0) return done;
  if (!cl.operands().empty()) return cl.usageError("no operands are taken");

  DryRun::install();
  // The run's own message for an unknown employee is not ours to print.
  std::ostringstream runMessages;
  std::streambuf* const err = std::cerr.rdbuf(runMessages.rdbuf());
  Tally tally;
  const Batch::Ending end = Batch::run(&tally);
  std::cerr.rdbuf(err);

  if (end.status == 1) {
    std::printf(
        "no transaction would apply: empupdate would end with status 1:\n%s",
        end.diagnostic.c_str());
    return 1;
  }
  sayApplied(tally.counts);
  if (end.status == 2) {
    std::printf("then the run would fail with:\n%s", end.diagnostic.c_str());
    return 2;
  }
  if (end.unknownEmployee) {
    std::printf(
        "then the run would stop at line %ld of emptrans.dat: employee %d is "
        "not in employee.dat (\"Transaction found for invalid employee: "
        "%d\")\n",
        end.line, end.unknownId, end.unknownId);
    return 3;
  }
  std::printf("then the run would end: no transaction is left%s\n",
              DryRun::createsFiles()
                  ? " (the missing files would be created empty)"
                  : "");
  return 0;
}
