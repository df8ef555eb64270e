// empdiff: what changed between two employee files, OLD and NEW. Records
// are paired by employee number (Pairing); each difference is a line on
// standard output, worded as empcheck --list words the transaction that
// makes it (Difference, PlanText): NEW's records in NEW's order, then
// those only in OLD, in OLD's order. It only reads.
//
// --summary prints the count of each kind of difference instead; --batch
// an emptrans.dat that makes OLD into NEW (BatchWriter), after a first
// pass that makes sure the transactions can make every difference: when
// they cannot, each one is told on standard error and no batch is
// written.
//
// Exit status, as diff tools agree: 0 the files are the same (nothing is
// printed); 1 they differ; 2 trouble: a file that can't be opened or read,
// is no regular file (a FIFO or device is refused by its type, never
// opened), is not a whole number of records or is larger than the format
// holds, or, with --batch, a difference the transactions cannot make, or
// output that can't be written; 64 a wrong command line.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "BatchWriter.h"
#include "CommandLine.h"
#include "Difference.h"
#include "Display.h"
#include "EmpTrans.h"
#include "Employee.h"
#include "Pairing.h"
#include "RecordFile.h"
#include "RecordReader.h"
#include "StandardDescriptors.h"
#include "SystemCalls.h"

namespace {

constexpr int kSame = 0, kDifferent = 1, kTrouble = 2;
constexpr const char* kProgram = "empdiff";

const char kHelp[] =
    "Tells what changed between two employee files, OLD and NEW: a line\n"
    "for each record that differs, worded as empcheck --list words the\n"
    "transaction that makes it. Records are paired by employee number, the\n"
    "k-th holding a number in OLD with the k-th holding it in NEW; a name\n"
    "counts up to its NUL. First NEW's records, in NEW's order:\n"
    "  add 7: \"Ann\" H 500 1999-05-17    only in NEW\n"
    "  delete 4                         its deleted mark became 1, no more\n"
    "  change 6: amount 2100 -> 2300    any other change, field by field\n"
    "then those only in OLD, in OLD's order:\n"
    "  remove 9: \"Bo\" S 100 2001-02-03\n"
    "Names are shown escaped, as empdump shows them.\n"
    "\n"
    "Exit status: 0 the files are the same (nothing is printed); 1 they\n"
    "differ; 2 trouble: a file can't be read, is no regular file, is not a\n"
    "whole number of 60-byte records or is too large, or, with --batch,\n"
    "the transactions cannot make a difference; 64 a wrong command line.\n"
    "\n"
    "  --summary  print only how many records differ, by kind: 5 records\n"
    "             differ: 2 adds, 1 change, 1 delete, 1 removal\n"
    "  --batch    print an emptrans.dat that makes OLD into NEW when\n"
    "             empupdate applies it to OLD, names as their exact bytes.\n"
    "             When the transactions cannot make a difference (remove a\n"
    "             record, clear a deleted mark, set an amount of 0...),\n"
    "             each one is told on standard error, and nothing of\n"
    "             standard output is to be used (status 2)\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n";

// Opens the file at `path` for reading, refusing by its type what is no
// regular file before it is opened. Returns how many records it holds, or
// -1 once it has told why it can't be compared.
std::int64_t openRecords(RecordFile& file, const std::string& path,
                         const std::string& name) {
  if (!file.open(path.c_str(), RecordFile::Access::kRead, false,
                 RecordFile::Check::kTypeFirst)) {
    std::fprintf(stderr, "%s:%s: cannot open: %s\n", kProgram, name.c_str(),
                 SystemCalls::errorText(file.error()).c_str());
    return -1;
  }
  const std::int64_t size = file.facts().size;
  const std::string wrong = size > Employee::kMaxFileBytes
                                ? "is over " +
                                      std::to_string(Employee::kMaxFileBytes) +
                                      " bytes, the most an employee file holds"
                            : size % Employee::kRecordBytes != 0
                                ? "is not a whole number of 60-byte records"
                                : "";
  if (wrong.empty()) return size / Employee::kRecordBytes;
  std::fprintf(stderr, "%s:%s: size %lld %s\n", kProgram, name.c_str(),
               static_cast<long long>(size), wrong.c_str());
  return -1;
}

// Follows a visit of the pairs: counts each difference by its kind, and
// prints its line, or hands it to a batch.
class Differences : public Pairing::Visitor {
 public:
  Differences(bool lines, BatchWriter* batch) : lines_(lines), batch_(batch) {}

  void paired(const Employee* before, const Employee& after, bool first,
              std::int64_t at) override {
    tell(Difference(before, &after), before, &after, first, at);
  }
  void removed(const Employee& before) override {
    tell(Difference(&before, nullptr), &before, nullptr, true, -1);
  }

  long total() const {
    return counts_[0] + counts_[1] + counts_[2] + counts_[3];
  }
  // "5 records differ: 2 adds, 1 change, 1 delete, 1 removal".
  std::string summary() const;

 private:
  void tell(const Difference& d, const Employee* before, const Employee* after,
            bool first, std::int64_t at) {
    if (!d.kind) return;
    ++counts_[static_cast<int>(*d.kind)];
    if (batch_ != nullptr) batch_->take(d, before, after, first, at);
    if (!lines_) return;
    const std::string line = d.line(before, after) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
  }

  bool lines_;
  BatchWriter* batch_;
  long counts_[4] = {};  // by PlanText::Kind
};

std::string Differences::summary() const {
  // The kinds a transaction makes are named as the table of kinds names
  // them; a removal, which none makes, here.
  constexpr char kLetters[] = {'A', 'C', 'D'};
  std::string each;
  for (int k = 0; k < 4; ++k) {
    if (counts_[k] == 0) continue;
    const bool one = counts_[k] == 1;
    const EmpTrans::Kind* kind =
        k < 3 ? EmpTrans::kinds()[EmpTrans::placeOf(kLetters[k])] : nullptr;
    each += (each.empty() ? ": " : ", ") + std::to_string(counts_[k]) + " " +
            (kind != nullptr ? (one ? kind->name : kind->plural)
                             : (one ? "removal" : "removals"));
  }
  const long n = total();
  return std::to_string(n) + (n == 1 ? " record differs" : " records differ") +
         each + "\n";
}

// The batch that makes OLD into NEW, once a first pass has found that the
// transactions can make every difference. Returns the exit status.
int batch(Pairing& pairing, RecordReader& now) {
  const auto fetch = [&now](std::int64_t at) {
    Employee e;
    e.decode(now.record(at), Employee::kRecordBytes);
    return e;
  };
  for (std::FILE* out : {static_cast<std::FILE*>(nullptr), stdout}) {
    BatchWriter writer(kProgram, pairing.highest(), pairing.streamed(), out);
    Differences d(false, &writer);
    pairing.visit(d);
    writer.finish(fetch);
    if (writer.problems() > 0 && out != nullptr) {
      // The first pass found none: a file changed in between.
      std::fprintf(stderr,
                   "%s: a file changed while it was read: the batch written "
                   "is not to be used\n",
                   kProgram);
    }
    if (writer.problems() > 0) return kTrouble;
    if (d.total() == 0) return kSame;
  }
  return kDifferent;
}

}  // namespace

int main(int argc, char** argv) {
  if (!StandardDescriptors::ensureOpen()) return kTrouble;
  CommandLine cl(kProgram, "[--summary | --batch] OLD NEW", kHelp, kTrouble);
  if (const int done = cl.parse(argc, argv, {"--summary", "--batch"});
      done >= 0) {
    return done;
  }
  const bool summary = cl.has("--summary"), asBatch = cl.has("--batch");
  if (summary && asBatch) {
    return cl.usageError("--summary and --batch go alone");
  }
  if (cl.operands().size() != 2) {
    return cl.usageError(cl.operands().size() < 2
                             ? "two files are needed, OLD and NEW"
                             : "too many files");
  }
  RecordFile files[2];
  std::int64_t counts[2];
  std::string names[2];
  for (int f = 0; f < 2; ++f) {
    const std::string& path = cl.operands()[f];
    names[f] = Display::name(path.data(), path.size());
    counts[f] = openRecords(files[f], path, names[f]);
  }
  if (counts[0] < 0 || counts[1] < 0) return kTrouble;
  try {
    RecordReader old(files[0], counts[0], names[0]);
    RecordReader now(files[1], counts[1], names[1]);
    Pairing pairing(old, now);
    if (asBatch) return cl.finish(batch(pairing, now));
    Differences d(!summary, nullptr);
    pairing.visit(d);
    if (summary && d.total() > 0) std::fputs(d.summary().c_str(), stdout);
    return cl.finish(d.total() > 0 ? kDifferent : kSame);
  } catch (const RecordReader::Failure& f) {
    cl.finish(kTrouble);
    std::fprintf(stderr, "%s:%s: %s\n", kProgram, f.file.c_str(),
                 f.why.c_str());
  } catch (const std::bad_alloc&) {
    cl.finish(kTrouble);
    std::fprintf(stderr, "%s: not enough memory\n", kProgram);
  }
  return kTrouble;
}
