// RunJournal: the journal of a run (empupdate --journal FILE). Before the
// run it takes up what an earlier run of the same journal left; during it,
// it writes an entry before every record the run writes (see Journal).
//
// A journal that records a run is resumed when employee.dat holds what that
// run left and the transactions it records as applied stand unchanged in
// emptrans.dat, at the same lines: they are read again, applied no more,
// and the run goes on after them. A write the earlier run was stopped in
// is put back first, and its transaction applied again. Anything else is
// refused, with what is applied already and how to go on. A journal that
// records no record written is begun afresh.
//
// Failures are thrown as Journal::Failure. The object must outlive the run:
// it is the write-ahead of every Employee write from resume() on.
#ifndef EMPUPDATE_BATCH_RUNJOURNAL_H_
#define EMPUPDATE_BATCH_RUNJOURNAL_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Employee.h"
#include "Hash64.h"
#include "Journal.h"
#include "LineTape.h"
#include "Reading.h"

class RunJournal final : public Employee::WriteAhead {
 public:
  explicit RunJournal(std::string name) : journal_(std::move(name)) {}
  ~RunJournal() { Employee::setWriteAhead(nullptr); }

  // Under employee.dat's lock, before it is indexed: opens the journal
  // and takes up the run it records. `startLine` (0: the whole batch) is
  // what the command line asked for, `fromGiven` whether it did; it
  // becomes the line the recorded run started at.
  void prepare(long& startLine, bool fromGiven);
  // What Employee::buildIndex hands each block of records to: for a new
  // journal, the hash of the file as found.
  std::function<void(const unsigned char*, std::size_t)> scanner();
  // Once emptrans.dat is open at the start line: reads again the
  // transactions the journal records as applied, checking each, and
  // returns how many there were; a new journal gets its header. From then
  // on every write of a record is journalled first.
  long resume(Reading& reading, long startLine);
  // The transaction about to be applied: its first and last lines.
  void transaction(long first, long last) {
    first_ = first;
    last_ = last;
  }
  // How many transactions the journal records as applied, once prepared.
  long applied() const { return static_cast<long>(journal_.records().size()); }

  void beforeWrite(std::int32_t at, bool appending, const unsigned char* before,
                   const unsigned char* after) override;

 private:
  [[noreturn]] void refuse(const std::string& file,
                           const std::string& words) const;
  // The refusal of a batch whose line `line` is not the transaction the
  // journal records there.
  [[noreturn]] void differs(long line, const Journal::Entry& e) const;
  // Checks that employee.dat holds what the recorded run left, and puts
  // back the write it was stopped in.
  void takeUp();

  Journal journal_;
  bool fresh_ = true;
  Hash64 fileHash_;
  std::int64_t fileBytes_ = 0;
  std::unique_ptr<LineTape> tape_;
  long first_ = 0, last_ = 0;
  Journal::Entry entry_;
};

#endif  // EMPUPDATE_BATCH_RUNJOURNAL_H_
