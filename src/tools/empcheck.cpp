// empcheck: the dry run of empupdate. In the current directory it tells,
// without creating, changing or locking any file, how many transactions
// empupdate would apply and how its run would end, with the diagnostic
// empupdate would print. It runs the very batch engine of empupdate, on
// copies of the files in memory. --list shows each transaction as it would
// apply, and warnings name what a run would silently ignore, and numbers
// whose value is not what their digits say in decimal.
//
// Exit status: 0 the whole batch would apply; 4 it would, but with
// warnings; 3 the run would stop at an unknown employee number; 2 it would
// fail with an error; 1 empupdate would end with status 1 (a file that can
// be neither opened nor created); 64 a wrong command line; 71 no check
// could be made, since employee.dat could not be copied into memory (said
// on standard error: nothing is foretold); 74 the report could not be
// written.
//
// What it cannot foresee: a full disk or another I/O error while writing,
// and another program changing the files in between.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "Batch.h"
#include "CommandLine.h"
#include "Diagnostic.h"
#include "Display.h"
#include "DryRun.h"
#include "EmpTrans.h"
#include "Employee.h"
#include "StandardDescriptors.h"

namespace {

constexpr int kWarnings = 4, kUsageStatus = 64, kCannotCheck = 71,
              kOutputStatus = 74;

const char kHelp[] =
    "Tells what empupdate would do in the current directory, without\n"
    "creating, changing or locking any file: how many transactions of\n"
    "emptrans.dat would apply to employee.dat, and how the run would end.\n"
    "A missing file counts as the empty file empupdate would create.\n"
    "Warnings name what the run would do without a word: ignore text after\n"
    "a transaction's last field, after a carriage return that ends no line,\n"
    "after a NUL byte in a name, or after a Ctrl-Z (byte 0x1A); read a\n"
    "number with a leading 0 as octal (010 is 8), or 0x as hexadecimal;\n"
    "and end a number at 15 characters, the rest read as the next field.\n"
    "\n"
    "Exit status: 0 the whole batch would apply; 4 it would, with\n"
    "warnings; 3 the run would stop at an unknown employee number; 2 it\n"
    "would fail with an error; 1 a file could be neither opened nor\n"
    "created; 64 a wrong command line; 71 no check was made, since\n"
    "employee.dat could not be copied into memory (standard error says\n"
    "why); 74 the report can't be written.\n"
    "\n"
    "  --list     show each transaction: what it would add, change or\n"
    "             delete, with each field that changes as OLD -> NEW\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n";

std::string plural(long n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// The name between double quotes, a quote in it shown as \".
std::string quoted(const Employee& e) {
  std::string out = "\"";
  for (const char c : Display::name(e.getNameField(), Employee::kNameBytes)) {
    out += c == '"' ? "\\\"" : std::string(1, c);
  }
  return out + "\"";
}

// The record the first index entry for `id` leads to, if any.
std::optional<Employee> record(std::int32_t id) {
  Employee e;
  try {
    e.load(id);
  } catch (Employee::NoSuch&) {
    return std::nullopt;
  }
  return e;
}

// Follows the run: counts what it applies, shows each transaction when
// asked to, and warns of what its line loses.
class Report : public Batch::Observer {
 public:
  explicit Report(bool list) : list_(list) {}

  void before(const EmpTrans& t) override {
    if (EmpTrans::typeLetter() != 'A') old_ = record(t.id);
  }

  void after(const EmpTrans& t) override {
    const char kind = EmpTrans::typeLetter();
    ++(kind == 'A' ? adds : kind == 'C' ? changes : deletes);
    if (list_) say(EmpTrans::line(), plan(t, kind));
    numbers();
    switch (EmpTrans::skipped()) {
      case EmpTrans::Skipped::kText:
        warn("text after the last field is ignored");
        break;
      case EmpTrans::Skipped::kLoneCarriageReturn:
        warn(
            "a carriage return without a line feed ends no line: the rest "
            "of the line after it is ignored, transactions included");
        break;
      case EmpTrans::Skipped::kNothing:
        break;
    }
  }

  // Warns of each number of the last transaction read whose value is not
  // what its digits say in decimal, or that the length limit cut short, and
  // of a name cut at a NUL byte, in the order they stand.
  void numbers() {
    using Part = EmpTrans::Part;
    for (const Part p : {Part::kNumber, Part::kName, Part::kAmount, Part::kYear,
                         Part::kMonth, Part::kDay}) {
      const auto& f = EmpTrans::field(p);
      if (p == Part::kName && EmpTrans::nameLostText()) {
        say(f.line,
            "warning: the name holds a NUL byte: it ends there, and the rest "
            "is lost");
        ++warnings;
      }
      const std::string what = std::string(Diagnostic::fieldName(p)) + " '" +
                               std::string(f.text, f.length) + "'";
      if (f.line != 0 && f.cutShort) {
        // Only an amount gets here: another number cut short fails.
        warnAt(f, what +
                      " ends at 15 characters: what follows it is read as "
                      "the next field");
      }
      if (f.line == 0 || f.base == 10) continue;
      // A change ignores a date in 1901 whole: its month and day take no
      // value at all.
      if ((p == Part::kMonth || p == Part::kDay) &&
          EmpTrans::typeLetter() == 'C' &&
          EmpTrans::field(Part::kYear).value == 1901) {
        continue;
      }
      if (f.base == 8 && std::stoll(std::string(f.text, f.length)) == f.value) {
        continue;
      }
      warnAt(f, what + " is read as " +
                    (f.base == 8 ? "octal, for its leading 0: "
                                 : "hexadecimal: ") +
                    (p == Part::kNumber ? "employee " : "") +
                    std::to_string(f.value));
    }
  }

  void warnAt(const modifstream::Field& f, const std::string& text) {
    std::printf("emptrans.dat:%ld:%ld: warning: %s\n", f.line, f.column,
                text.c_str());
    ++warnings;
  }

  // What the end of the transactions lost, once the run found no more.
  void atEnd() {
    if (EmpTrans::lostAfterEnd() == 0) return;
    say(EmpTrans::lostAfterEnd(),
        "warning: text after a Ctrl-Z (byte 0x1A), which ends the "
        "transactions, is ignored");
    ++warnings;
  }

  long total() const { return adds + changes + deletes; }
  long adds = 0, changes = 0, deletes = 0, warnings = 0;

 private:
  static void say(long line, const std::string& text) {
    std::printf("emptrans.dat:%ld: %s\n", line, text.c_str());
  }

  void warn(const std::string& text) {
    ++warnings;
    say(EmpTrans::skippedLine(), "warning: " + text);
  }

  std::string plan(const EmpTrans& t, char kind) const {
    if (kind == 'A') {
      const Employee e = *record(Employee::getMaxId());
      return "add " + std::to_string(e.getId()) + ": " + quoted(e) + " " +
             Display::category(e.getCategory()) + " " +
             std::to_string(e.getAmount()) + " " + Display::date(e.getDate());
    }
    const std::string who = std::to_string(t.id);
    if (kind == 'D') {
      const std::int32_t mark = old_->getDeleted();
      return "delete " + who +
             (mark == 1 ? ": already deleted"
              : mark == 0
                  ? ""
                  : ": deleted mark " + std::to_string(mark) + " becomes 1");
    }
    const Employee now = *record(t.id);
    std::string changed;
    auto field = [&](const char* name, const std::string& from,
                     const std::string& to) {
      if (from == to) return;
      changed += (changed.empty() ? ": " : "; ") + std::string(name) + " " +
                 from + " -> " + to;
    };
    field("name", quoted(*old_), quoted(now));
    field("category", Display::category(old_->getCategory()),
          Display::category(now.getCategory()));
    field("amount", std::to_string(old_->getAmount()),
          std::to_string(now.getAmount()));
    field("date", Display::date(old_->getDate()), Display::date(now.getDate()));
    return "change " + who + (changed.empty() ? ": nothing changes" : changed);
  }

  bool list_;
  std::optional<Employee> old_;
};

}  // namespace

int main(int argc, char** argv) {
  if (!StandardDescriptors::ensureOpen()) return kOutputStatus;
  CommandLine cl("empcheck", "[--list]", kHelp, kUsageStatus, kOutputStatus);
  if (const int done = cl.parse(argc, argv, {"--list"}); done >= 0) {
    return done;
  }
  if (!cl.operands().empty()) return cl.usageError("no operands are taken");

  // A file-size limit fails the copy in memory, instead of killing the
  // check, as it fails the run's writes.
  std::signal(SIGXFSZ, SIG_IGN);
  if (const int error = DryRun::install(); error != 0) {
    std::fprintf(stderr, "empcheck:employee.dat: cannot copy into memory: %s\n",
                 std::strerror(error));
    return kCannotCheck;
  }
  // The run's own message for an unknown employee is not ours to print.
  std::ostringstream runMessages;
  std::streambuf* const err = std::cerr.rdbuf(runMessages.rdbuf());
  Report report(cl.has("--list"));
  const Batch::Ending end = Batch::run(&report);
  std::cerr.rdbuf(err);

  if (end.status == 1) {
    // empupdate says nothing on this path: the cause is told in our words.
    std::printf(
        "no transaction would apply: empupdate would end with status 1, "
        "silently:\n%s",
        end.diagnostic.substr(end.diagnostic.find(':') + 1).c_str());
    return cl.finish(1);
  }
  if (end.status == 0 && !end.unknownEmployee) report.atEnd();
  // Which employee a number in another base names.
  if (end.unknownEmployee) report.numbers();
  std::printf("%s would apply: %s, %s, %s\n",
              plural(report.total(), "transaction").c_str(),
              plural(report.adds, "add").c_str(),
              plural(report.changes, "change").c_str(),
              plural(report.deletes, "delete").c_str());
  if (end.status == 2) {
    std::printf("then the run would fail with:\n%s", end.diagnostic.c_str());
    return cl.finish(2);
  }
  if (end.unknownEmployee) {
    std::printf(
        "then the run would stop at line %ld of emptrans.dat: employee %d is "
        "not in employee.dat (\"Transaction found for invalid employee: "
        "%d\")\n",
        end.line, end.unknownId, end.unknownId);
    return cl.finish(3);
  }
  std::printf("then the run would end: no transaction is left%s\n",
              DryRun::createsFiles()
                  ? " (the missing files would be created empty)"
                  : "");
  return cl.finish(report.warnings > 0 ? kWarnings : 0);
}
