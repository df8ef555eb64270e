// empcheck: the dry run of empupdate. In the current directory it tells,
// without creating, changing or locking any file, how many transactions
// empupdate would apply and how its run would end, with the diagnostic
// empupdate would print. It runs the very batch engine of empupdate, on
// the files as they are, with the run's writes kept in memory (DryRun),
// and goes on past each transaction that
// fails, as if it were left out, to list every mistake of the batch in one
// pass. --list shows each transaction as it would apply, up to the first
// failure, and warnings name what a run would silently ignore, and numbers
// whose value is not what their digits say in decimal. --json writes the
// same report, with the plan, as JSON Lines for programs (JsonReport).
//
// --from LINE foretells the run that empupdate --from LINE would make, and
// --control FILE the one of empupdate --control FILE. --totals adds the
// batch's control totals (BatchTotals), as a control file writes them, and
// employee.dat's (FileTotals) before and after the run.
//
// Exit status: 0 the whole batch would apply; 4 it would, but with
// warnings; 3 the run would stop at an unknown employee number; 2 it would
// fail with an error; 1 empupdate would end with status 1 (a file that can
// be neither opened nor created); 64 a wrong command line; 74 the report
// could not be written. A signal of those empupdate stops for ends it with
// a line that says so, as the signal would; SIGXFSZ is ignored, so that a
// file-size limit fails the writing of the report instead.
//
// What it cannot foresee: a full disk or another I/O error while writing,
// and another program changing the files in between.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Batch.h"
#include "BatchTotals.h"
#include "CommandLine.h"
#include "DryRun.h"
#include "EmpTrans.h"
#include "Employee.h"
#include "FileTotals.h"
#include "Interruption.h"
#include "JsonReport.h"
#include "RepeatCheck.h"
#include "StandardDescriptors.h"
#include "SystemCalls.h"
#include "TextReport.h"

namespace {

constexpr int kWarnings = 4, kOutputStatus = 74;

const char kHelp[] =
    "Tells what empupdate would do in the current directory, without\n"
    "creating, changing or locking any file: how many transactions of\n"
    "emptrans.dat would apply to employee.dat, and how the run would end.\n"
    "A missing file counts as the empty file empupdate would create.\n"
    "It goes on past each transaction that fails, as if it were left out,\n"
    "and lists every mistake of the batch (at most 100), in file order.\n"
    "Warnings name what the run would do without a word:\n";
const char kStatus[] =
    "\n"
    "Exit status: 0 the whole batch would apply; 4 it would, with\n"
    "warnings; 3 the run would stop at an unknown employee number; 2 it\n"
    "would fail with an error; 1 a file could be neither opened nor\n"
    "created; 64 a wrong command line; 74 the report can't be written;\n"
    "128+N ended by signal N.\n"
    "\n"
    "  --list       show each transaction as it would apply, with each\n"
    "               field that changes as OLD -> NEW\n"
    "  --json       write the report as JSON Lines, for programs: each\n"
    "               transaction with its record before and after, each\n"
    "               mistake, warning and note, and the summary\n"
    "  --from LINE  check the run of empupdate --from LINE: from line LINE\n"
    "               of emptrans.dat on, line numbers still of the whole file\n"
    "  --control FILE  check the run of empupdate --control FILE, which\n"
    "               applies nothing unless the batch has the totals of FILE\n"
    "  --totals     show the batch's totals, a NAME VALUE line each as a\n"
    "               control file takes them, then employee.dat's totals\n"
    "               before and after the run, as empdump --totals shows them\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n";

// No more mistakes than these are listed, nor more warnings: a file that
// is no batch at all (a binary given by mistake) must not flood a
// terminal. The rest are counted.
constexpr long kListed = 100;

// Follows the run: counts what it applies up to its first failure, shows
// each transaction of that part when asked to, and then, as the run goes on
// past each failure, lists every mistake, with the warnings of what each
// line loses, in file order. What it says, `out` words.
class Report : public Batch::Observer {
 public:
  Report(ReportWriter& out, bool list, bool totals)
      : out_(out),
        list_(list),
        totals_(totals),
        counts_(EmpTrans::kinds().size()) {}

  void before(const EmpTrans& t, const Reading& r) override {
    old_ = t.recordBefore();
    if (totals_) batch_.add(t, r.line());
  }

  // The file as the run would leave it: what is applied past here is not.
  void stopped() override {
    failed_ = true;
    if (totals_) after_ = fileTotals();
  }

  // Once the dry run is in place, before the run.
  void startTotals() {
    if (totals_) before_ = fileTotals();
  }

  void after(const EmpTrans& t, const Reading& r) override {
    if (!failed_) {
      ++counts_[t.kind()];
      if (list_) {
        out_.step({r.line(), t.kind(), old_, *t.recordAfter(), t.plan(old_)});
      }
    } else {
      unknownNumbers(r);
    }
    warnings(r);
    if (old_) {
      if (const std::optional<Finding> w = t.reviewRecord(r, *old_)) warn(*w);
    }
    repeats_.applied(t, r, old_);
  }

  void mistake(const Reading& r) override {
    repeats_.failed(r.line());
    error(*r.error(), r, r.error()->what());
    if (r.kind() < 0 && unreadType_ == 0) unreadType_ = r.line();
  }

  void unknown(std::int32_t, const std::string&, const Reading& r) override {
    repeats_.failed(r.line());
    unknownNumbers(r);
    // Which employee a number in another base names.
    warnings(r);
    Finding at = r.note(Finding::Part::kNumber);
    at.reason = Finding::Reason::kUnknownEmployee;
    error(at, r, at.what());
  }

  // A failed add still takes its number; a transaction whose type letter
  // could not be read can't: were it an add, the numbers after it would be
  // one off. Said once, at the first transaction read after it.
  void unknownNumbers(const Reading& r) {
    if (unreadType_ == 0 || shiftSaid_) return;
    shiftSaid_ = true;
    out_.diagnostic({EmpTrans::kFileName, r.line(), 0, "note",
                     "were the transaction of line " +
                         std::to_string(unreadType_) +
                         ", whose type is not known, an add, the numbers "
                         "given after it would be one higher: a change or "
                         "delete of them may be told wrongly"});
  }

  // A file the run would create empty: where the check was likely made in
  // the wrong directory.
  void missing(const char* file) {
    Finding w;
    w.reason = Finding::Reason::kWouldCreate;
    ++warnings_;
    out_.diagnostic({file, 0, 0, "warning", w.what()});
  }

  void ended(const Reading& r) override {
    repeats_.ended();
    warnings(r);
  }

  // After the run: the warnings that only the whole batch and the file
  // tell, after the lines of the transactions.
  void repeats() {
    for (const Finding& w : repeats_.warnings()) warn(w);
  }

  // Tells how the run would end, after what it would apply, and returns the
  // status of the check.
  // `from`: the line the run starts at, 0 for the whole batch.
  int foretell(const Batch::Ending& end, long from) {
    using End = ReportWriter::End;
    ReportWriter::Summary s{.counts = counts_,
                            .how = End::kNoneLeft,
                            .end = end,
                            .told = "",
                            .mistakes = mistakes_,
                            .warnings = warnings_,
                            .listed = kListed,
                            .status = warnings_ > 0 ? kWarnings : 0};
    if (end.status == 1) {
      // empupdate says nothing on this path: the cause is told in our words.
      s.how = End::kCannotOpen;
      s.told =
          "empcheck:" + end.diagnostic.substr(end.diagnostic.find(':') + 1);
      s.status = 1;
    } else if (end.status == 2) {
      s.how = End::kError;
      s.told = end.diagnostic;
      s.status = 2;
      tornTail(end.error);
    } else if (end.unknownEmployee) {
      // The run's message, less the line end it starts with.
      s.how = End::kUnknownEmployee;
      s.told = end.message.substr(end.message.empty() ? 0 : 1);
      s.status = 3;
    }
    ReportWriter::Totals totals;
    if (totals_ && end.status != 1) {
      if (!after_) after_ = fileTotals();
      totals = {from, batch_.rows(), before_, after_};
      s.totals = &totals;
    }
    out_.summary(s);
    return s.status;
  }

 private:
  // The totals of employee.dat as the run's writes leave it, or none when
  // it can't be read, or is one the run refuses for its size alone.
  static std::optional<FileTotals> fileTotals() {
    RecordFile file;
    if (!file.open(Employee::kFileName, RecordFile::Access::kRead, false) ||
        file.facts().size > Employee::kMaxFileBytes) {
      return std::nullopt;
    }
    const std::int64_t records = file.facts().size / Employee::kRecordBytes;
    FileTotals totals;
    if (totals.read(file, records) != records) return std::nullopt;
    return totals;
  }

  // When the run refuses employee.dat for a size that is no whole number
  // of records: what such a tail is, and how to go on.
  void tornTail(const std::exception_ptr& error) {
    try {
      if (error) std::rethrow_exception(error);
      return;
    } catch (const Employee::BadSize&) {
    } catch (...) {
      return;
    }
    SystemCalls::Facts f{};
    if (SystemCalls::look(Employee::kFileName, &f) != 0) return;
    const std::int64_t tail = f.size % Employee::kRecordBytes;
    out_.diagnostic(
        {Employee::kFileName, 0, 0, "note",
         "its last " + std::to_string(tail) +
             " bytes are the start of a record whose writing was cut off (a "
             "run killed while it added an employee), and the records "
             "before them are whole; if the run kept a journal, empundo "
             "JOURNAL puts the file back as the run found it, and empupdate "
             "--journal JOURNAL resumes the run; without one, cut the tail "
             "off (truncate -s " +
             std::to_string(f.size - tail) +
             " employee.dat) and run empcheck again, which tells the "
             "transactions that look applied already and where to resume"});
  }

  void warnings(const Reading& r) {
    for (const Finding& w : r.warnings()) warn(w);
  }

  // The one place every warning is said: with its column when it names a
  // field, with none for the text a line loses.
  void warn(const Finding& w) {
    if (++warnings_ > kListed) return;
    out_.diagnostic(
        {EmpTrans::kFileName, w.line, w.column, "warning", w.what()});
  }

  // `at` names where in the transaction read as `r`: when on another line
  // than its type letter, the error says which transaction it is in.
  void error(const Finding& at, const Reading& r, const std::string& text) {
    failed_ = true;
    if (++mistakes_ > kListed) return;
    const std::string in =
        at.line != r.line()
            ? " (in the transaction of line " + std::to_string(r.line()) + ")"
            : "";
    out_.diagnostic(
        {EmpTrans::kFileName, at.line, at.column, "error", text + in});
  }

  ReportWriter& out_;
  bool list_, totals_;
  BatchTotals batch_;  // of every transaction read without a mistake
  std::optional<FileTotals> before_, after_;
  std::vector<long> counts_;     // applied before the first failure, by kind
  std::optional<Employee> old_;  // the record the transaction loads
  RepeatCheck repeats_;
  bool failed_ = false;
  long mistakes_ = 0, warnings_ = 0;
  long unreadType_ = 0;  // line of the first failed transaction of no kind
  bool shiftSaid_ = false;
};

}  // namespace

// Ends the check when a signal asked it to, with a line that says so: what
// was listed so far stays listed.
static void stopIfSignalled() {
  const int signal = Interruption::pending();
  if (signal == 0) return;
  std::fflush(stdout);
  std::fprintf(stderr, "empcheck: interrupted by %s\n",
               Interruption::name(signal).c_str());
  Interruption::endAsSignalled(signal);
}

int main(int argc, char** argv) {
  // First, as in empupdate: the batch loop then stops at the next
  // transaction, and the check ends as the signal would, saying so. A
  // report that nobody reads any more still ends it as it always did.
  struct sigaction pipeAction;
  ::sigaction(SIGPIPE, nullptr, &pipeAction);
  Interruption::catchSignals();
  ::sigaction(SIGPIPE, &pipeAction, nullptr);
  if (!StandardDescriptors::ensureOpen()) return kOutputStatus;
  const std::string help = kHelp + Finding::warningList("  ") + kStatus;
  CommandLine cl("empcheck",
                 "[--list] [--json] [--totals] [--from LINE] [--control FILE]",
                 help.c_str(), kOutputStatus);
  Batch batch;
  if (const int done = batch.readCommandLine(cl, argc, argv,
                                             {"--list", "--json", "--totals"});
      done >= 0) {
    return done;
  }

  // A file-size limit fails the writing of the report, instead of killing
  // the check.
  std::signal(SIGXFSZ, SIG_IGN);
  const DryRun::Setting setting = DryRun::install();
  stopIfSignalled();
  // --json always lists the plan, and gives the totals.
  const bool json = cl.has("--json");
  const std::unique_ptr<ReportWriter> out =
      json ? std::unique_ptr<ReportWriter>(std::make_unique<JsonReport>())
           : std::make_unique<TextReport>();
  Report report(*out, json || cl.has("--list"), json || cl.has("--totals"));
  if (setting.createsEmployee) report.missing(Employee::kFileName);
  if (setting.createsTrans) report.missing(EmpTrans::kFileName);
  report.startTotals();
  const Batch::Ending end = batch.run(&report);
  stopIfSignalled();
  report.repeats();
  stopIfSignalled();
  return cl.finish(report.foretell(end, batch.startLine()));
}
