// empundo: takes back the run a journal records (empupdate --journal FILE):
// checks that every record the run touched still holds what the run left,
// then cuts off what it appended and writes every record it changed back
// as it found it, in reverse order. A record changed since means nothing
// is restored. It takes the lock a run takes, and an undo cut short by a
// kill or a failure is finished by running it again.
//
// Exit status: 0 the run was taken back (or --check: it can be, or there
// is nothing to take back); 2 it can't be, or failed, with one line on
// standard error; 64 a wrong command line.
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "CommandLine.h"
#include "Diagnostic.h"
#include "Display.h"
#include "Employee.h"
#include "Hash64.h"
#include "Journal.h"
#include "RecordFile.h"
#include "Replay.h"
#include "StandardDescriptors.h"

namespace {

constexpr int kFailed = 2;

const char kHelp[] =
    "Takes back the run of empupdate that the journal FILE records\n"
    "(empupdate --journal FILE), on employee.dat in the current directory:\n"
    "cuts off the records the run added and writes every record it changed\n"
    "back as the run found it. First it checks that each of them still\n"
    "holds what the run left there (a record the run was stopped in the\n"
    "middle of writing included); when one does not, nothing is restored.\n"
    "Running it again finishes an undo that was cut short.\n"
    "\n"
    "  --check      say what the undo would do, and change nothing\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "Exit status: 0 done (or, with --check, it can be done); 2 it can't be,\n"
    "with one line on standard error; 64 a wrong command line.\n";

std::string plural(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// What the journal's run did, in a sentence's words.
std::string runDone(const Journal& journal, const Replay& replay) {
  const std::vector<Journal::Entry>& r = journal.records();
  return plural(static_cast<std::int64_t>(r.size()), "transaction",
                "transactions") +
         " of emptrans.dat (lines " + std::to_string(r.front().line) + " to " +
         std::to_string(r.back().lastLine) +
         "): " + plural(replay.written(), "record", "records") +
         " written back, " +
         plural(replay.appended(), "added record", "added records") +
         " cut off";
}

// Whether employee.dat, on `file`, is the file the run found, byte for
// byte as far as its hash tells. An undo has cut it to that size or less.
bool asFound(RecordFile& file, const Journal::Header& h) {
  Hash64 hash;
  const std::int64_t records = h.fileBytes / Employee::kRecordBytes;
  const std::int64_t got = file.forEachBlock(
      Employee::kRecordBytes, records,
      [&](const unsigned char* block, std::int64_t n, std::int64_t) {
        hash.add(block, static_cast<std::size_t>(n * Employee::kRecordBytes));
      });
  return got == records && hash.value() == h.fileHash;
}

int undo(const std::string& name, const std::string& shown, bool check) {
  Employee::lockFile(false);
  Journal journal(name);
  journal.open(false);
  if (Employee::holds(journal.descriptor())) {
    throw Journal::Failure{shown, "the journal cannot be employee.dat"};
  }
  journal.take();
  if (!journal.started() || journal.records().empty() || journal.undone()) {
    std::printf("empundo: %s: %s\n", shown.c_str(),
                journal.undone() ? "the run it records was taken back already"
                                 : "the run it records wrote no record");
    return 0;
  }
  const Replay replay(journal);
  RecordFile file;
  if (!file.open(
          Employee::kFileName,
          check ? RecordFile::Access::kRead : RecordFile::Access::kReadWrite,
          false) ||
      !Employee::holds(file.descriptor())) {
    throw Journal::Failure{
        Employee::kFileName,
        "cannot open: " + SystemCalls::errorText(file.error())};
  }
  const Replay::Verdict v = replay.check(file, journal.undoBegun());
  if (!v.mismatch.empty()) {
    throw Journal::Failure{Employee::kFileName,
                           v.mismatch + "; nothing was restored"};
  }
  if (check) {
    std::printf("empundo: %s: would take back %s\n", shown.c_str(),
                runDone(journal, replay).c_str());
    return 0;
  }
  if (!journal.undoBegun()) journal.mark(Journal::Tag::kUndoBegun);
  replay.undo(file);
  journal.mark(Journal::Tag::kUndone);
  std::printf("empundo: %s: took back %s; employee.dat %s\n", shown.c_str(),
              runDone(journal, replay).c_str(),
              asFound(file, journal.header())
                  ? "is byte for byte as the run found it"
                  : "differs from what the run found only where it was "
                    "changed since by other means");
  if (!file.close()) {
    throw Journal::Failure{
        Employee::kFileName,
        "cannot write: " + SystemCalls::errorText(file.error())};
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // A file-size limit fails the journal's write, told as such, instead of
  // ending the undo with no word and the start of an entry left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  if (!StandardDescriptors::ensureOpen()) return kFailed;
  CommandLine cl("empundo", "[--check] FILE", kHelp, kFailed);
  if (const int done = cl.parse(argc, argv, {"--check"}); done >= 0) {
    return done;
  }
  if (cl.operands().size() != 1) {
    return cl.usageError(cl.operands().empty() ? "no journal named"
                                               : "one journal only");
  }
  const std::string& name = cl.operands()[0];
  const std::string shown = Display::name(name.data(), name.size());
  int status;
  try {
    status = undo(name, shown, cl.has("--check"));
  } catch (...) {
    std::string text = Diagnostic::line("empundo", std::current_exception(),
                                        {.startUp = true});
    std::fputs(text.c_str(), stderr);
    status = kFailed;
  }
  return cl.finish(status);
}
