// Replay: what a journal says employee.dat holds after its run, checked
// against the file, and the undo that puts every record back as the run
// found it.
//
// A run writes an entry before each record it writes, and stops at the
// first write that fails, so that only the write of the last entry can have
// been cut short: by a kill (a write stops at a page boundary, leaving the
// new bytes before it and the old ones after), or by a failure that put
// the old bytes back. Every other entry's record holds its after-image,
// unless a later entry wrote the same record. An undo first cuts off what
// the run appended, then writes the before-images back in reverse order;
// every step can be done again, so an undo that was itself interrupted is
// finished by doing it again.
//
// The object keeps only the order of the entries; the entries are the
// journal's. Failures are thrown as Journal::Failure.
#ifndef EMPUPDATE_JOURNAL_REPLAY_H_
#define EMPUPDATE_JOURNAL_REPLAY_H_

#include <cstdint>
#include <string>
#include <vector>

#include "Journal.h"
#include "RecordFile.h"

class Replay {
 public:
  // How far the write of the last entry got.
  enum class Last { kNone, kDone, kNotDone, kTorn };
  struct Verdict {
    // Empty when employee.dat holds what the run left; else what differs,
    // in a diagnostic's words.
    std::string mismatch;
    Last last = Last::kNone;
  };

  // Checks that the entries make one run: each write in place of a record
  // that was there, each append at the end, each before-image what the
  // entry before it left there. Throws Failure when they do not.
  // `journal`, whose entries this object reads, outlives it, unchanged.
  explicit Replay(const Journal& journal);

  // Whether employee.dat, open on `file`, holds what the run left: every
  // record it touched as its last entry left it, the last entry's done,
  // not done or torn, and nothing appended after. `undoBegun`: an undo was
  // interrupted, and once it cut the file back to the size the run found,
  // each record may hold any state the run or the undo gave it.
  Verdict check(RecordFile& file, bool undoBegun) const;
  // Puts back, on `file` open for reading and writing, what the run found:
  // cuts off what it appended, writes every before-image back in reverse
  // order. Throws Failure.
  void undo(RecordFile& file) const;
  // Puts back the record of the last entry, whose write was cut short.
  void putBackLast(RecordFile& file) const;

  // The size employee.dat has once every entry is done.
  std::int64_t end() const { return end_; }
  // Counts of the records the run wrote in place (distinct positions) and
  // appended.
  std::int64_t written() const { return written_; }
  std::int64_t appended() const { return appended_; }

 private:
  // The entries of one record, in the order written: [first, last) of
  // byPosition_.
  struct Group {
    std::size_t first, last;
  };
  Verdict checkSize(std::int64_t size, bool undoBegun) const;
  // Whether the `have` bytes read of g's record, `now`, are what the run
  // left (or, after an undo began, any state it passed through); notes in
  // `last` how far the last entry's write got, when it is g's.
  bool holds(const Group& g, const unsigned char* now, std::size_t have,
             bool undoBegun, Last* last) const;
  void write(RecordFile& file, std::int64_t at,
             const unsigned char* bytes) const;

  const Journal::Header& header_;
  const std::vector<Journal::Entry>& records_;
  std::vector<std::size_t> byPosition_;  // entries by position, then order
  std::vector<Group> groups_;
  std::int64_t end_ = 0, written_ = 0, appended_ = 0;
};

#endif  // EMPUPDATE_JOURNAL_REPLAY_H_
