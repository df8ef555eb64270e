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
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>

#include "AddTrans.h"
#include "ChangeTrans.h"
#include "CommandLine.h"
#include "EmpTrans.h"
#include "Employee.h"
#include "RunFailure.h"

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

bool missing(const char* name) {
  struct stat st;
  return ::stat(name, &st) != 0;
}

// Whether empupdate could create the missing `name`: in the current
// directory, or where a dangling link points.
bool creatable(const char* name) {
  std::string dir = ".";
  char target[4096];
  const ssize_t n = ::readlink(name, target, sizeof target - 1);
  if (n > 0) {
    const std::string path(target, static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    if (slash != std::string::npos)
      dir = slash == 0 ? "/" : path.substr(0, slash);
  }
  return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

// empupdate's start-up ending with status 1.
int cannotOpen(const char* name) {
  std::printf(
      "no transaction would apply: empupdate would end with status 1, "
      "since %s can be neither opened nor created\n",
      name);
  return 1;
}

// An error that would end the run: empupdate's own diagnostic, status 2.
int wouldFail(const Counts& c, RunFailure::Stage stage) {
  sayApplied(c);
  const std::string text =
      RunFailure::message("empupdate", std::current_exception(), stage,
                          EmpTrans::line(), c.total());
  std::printf("then the run would fail with:\n%s", text.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine cl("empcheck", "", kHelp);
  if (const int done = cl.parse(argc, argv, {}); done >= 0) return done;
  if (!cl.operands().empty()) return cl.usageError("no operands are taken");

  const bool noEmployees = missing(Employee::kFileName);
  if (noEmployees && !creatable(Employee::kFileName)) {
    return cannotOpen(Employee::kFileName);
  }
  Counts counts;
  try {
    Employee::indexForCheck();
  } catch (Employee::CantOpenFile&) {
    return cannotOpen(Employee::kFileName);
  } catch (...) {
    return wouldFail(counts, RunFailure::Stage::kStartUp);
  }

  const bool noTransactions = missing(EmpTrans::kFileName);
  if (noTransactions && !creatable(EmpTrans::kFileName)) {
    return cannotOpen(EmpTrans::kFileName);
  }
  if (!noTransactions) {
    try {
      EmpTrans::openFile();
    } catch (EmpTrans::CantOpenFile&) {
      return cannotOpen(EmpTrans::kFileName);
    }
  }

  // The index as the adds would grow it: they take the numbers after the
  // highest in the file, and append one record each.
  const std::int32_t fileMaxId = Employee::getMaxId();
  std::int32_t maxId = fileMaxId;
  std::int32_t end = Employee::getEndOffset();
  try {
    for (;;) {
      if (noTransactions) throw EmpTrans::NoMore();
      const std::unique_ptr<EmpTrans> t = EmpTrans::get();
      if (dynamic_cast<AddTrans*>(t.get()) != nullptr) {
        Employee::checkRoomForAdd(maxId, end);
        ++maxId;
        end += Employee::kRecordBytes;
        ++counts.adds;
        continue;
      }
      const bool known =
          Employee::find(t->id) >= 0 || (t->id > fileMaxId && t->id <= maxId);
      if (!known) {
        sayApplied(counts);
        std::printf(
            "then the run would stop at line %ld of emptrans.dat: employee "
            "%d is not in employee.dat (\"Transaction found for invalid "
            "employee: %d\")\n",
            EmpTrans::line(), t->id, t->id);
        return 3;
      }
      ++(dynamic_cast<ChangeTrans*>(t.get()) != nullptr ? counts.changes
                                                        : counts.deletes);
    }
  } catch (EmpTrans::NoMore&) {
  } catch (...) {
    return wouldFail(counts, RunFailure::Stage::kLoop);
  }
  sayApplied(counts);
  std::printf("then the run would end: no transaction is left%s\n",
              noEmployees || noTransactions
                  ? " (the missing files would be created empty)"
                  : "");
  return 0;
}
