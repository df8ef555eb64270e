// Journal: the file a journalled run writes before it touches a record of
// employee.dat, from which the run can be resumed or taken back exactly.
//
// Format (integers little-endian, two's complement):
//
//   header, 64 bytes
//     0   8  magic "EMPJRNL1"
//     8   8  startLine   the line of emptrans.dat the run started at
//    16   8  batchBytes  emptrans.dat's size, as the run found it
//    24   8  batchHash   Hash64 of its bytes
//    32   8  fileBytes   employee.dat's size, as the run found it
//    40   8  fileHash    Hash64 of its records
//    48   8  0
//    56   8  check       Hash64 of bytes 0-55
//   then entries, each
//     0   4  tag         'W' a record written in place, 'A' one appended,
//                        'U' an undo begun, 'D' the undo done
//     4   4  textBytes   of the text kept below (at most kTextKept)
//     8   8  line        first line of the transaction in emptrans.dat
//    16   8  lastLine    the line it ends on
//    24   8  position    of the record in employee.dat (-1: none)
//    32  60  before      the record's bytes before the write (0s: none)
//    92  60  after       the bytes the write puts there
//   152   8  textHash    Hash64 of the transaction's lines, whole
//   160   n  text        the first textBytes bytes of them
//   160+n 8  check       Hash64 of the entry's bytes before it
//
// An entry is written in one write, whole, before the write it records, so
// that the kernel has it before employee.dat is touched; a process killed
// at any moment leaves whole entries and at most the start of one more,
// which the reader sets aside (tornAt()). An entry that fails its check
// before the last one is damage, never an interruption: load() refuses it.
//
// The object owns its descriptor; the file is locked (flock, no waiting)
// while it is open, so that two runs never write one journal. Every call
// goes through SystemCalls. Failures are thrown as Failure, carrying the
// words a diagnostic gives.
#ifndef EMPUPDATE_JOURNAL_JOURNAL_H_
#define EMPUPDATE_JOURNAL_JOURNAL_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Employee.h"
#include "RecordFile.h"

class Journal {
 public:
  static constexpr std::int64_t kHeaderBytes = 64;
  static constexpr std::int64_t kEntryBytes = 168;  // with no text
  static constexpr std::uint32_t kTextKept = 512;
  static constexpr std::size_t kRecord = Employee::kRecordBytes;

  enum class Tag : std::uint32_t {
    kWrite = 'W',
    kAppend = 'A',
    kUndoBegun = 'U',
    kUndone = 'D',
  };

  struct Header {
    std::int64_t startLine = 1;
    std::int64_t batchBytes = 0;
    std::uint64_t batchHash = 0;
    std::int64_t fileBytes = 0;
    std::uint64_t fileHash = 0;
  };

  struct Entry {
    Tag tag = Tag::kWrite;
    std::int64_t line = 0, lastLine = 0;
    std::int64_t position = -1;
    unsigned char before[kRecord] = {};
    unsigned char after[kRecord] = {};
    std::uint64_t textHash = 0;
    std::string text;     // at most kTextKept bytes of the transaction
    std::int64_t at = 0;  // where the entry starts in the journal
  };

  // Why a journal can't be used, written, or acted on: the file at fault
  // and the words of a diagnostic (lower case, no final period).
  struct Failure {
    std::string file;
    std::string words;
  };

  explicit Journal(std::string name) : name_(std::move(name)) {}
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Opens the journal, creating it (mode 0666 less the umask) when
  // `create` and missing; anything but a regular file is refused by its
  // type before it is opened. Throws Failure.
  void open(bool create);
  // Then, once the caller has seen it is none of its other files: locks
  // it and reads it, the header, if whole, and every whole entry. Throws
  // Failure.
  void take();
  const std::string& name() const { return name_; }
  // The name as messages show it, escaped as names are.
  std::string shown() const;
  // The descriptor, still owned by this object.
  int descriptor() const { return file_.descriptor(); }
  const SystemCalls::Facts& facts() const { return file_.facts(); }

  // Whether a header was read or written.
  bool started() const { return started_; }
  const Header& header() const { return header_; }
  // The record entries (W and A) open() read, in the order written; those
  // appended since are not kept.
  const std::vector<Entry>& records() const { return records_; }
  // Whether an undo was begun, and done.
  bool undoBegun() const { return undoBegun_; }
  bool undone() const { return undone_; }
  // Where the bytes after the last whole entry start, or -1: none follow.
  std::int64_t tornAt() const { return tornAt_; }

  // Writes the header of a new journal, cutting off whatever a run killed
  // before it had one left. Throws Failure.
  void start(const Header& h);
  // Appends `e` (its text cut to kTextKept) in one write; a write that
  // fails is cut back off. Throws Failure.
  void append(const Entry& e);
  // Appends an entry of no record: an undo begun or done.
  void mark(Tag t) {
    Entry e;
    e.tag = t;
    append(e);
  }
  // Drops the last record entry (one whose write never happened), and
  // whatever follows it; records() must not be empty. Throws Failure.
  void dropLast();

 private:
  void readAll();
  // Reads the entry at `at` into `e`; false when it is not whole.
  bool readEntry(std::int64_t at, std::int64_t size, Entry& e);
  void cutTo(std::int64_t size);
  [[noreturn]] void fail(const std::string& what, int error) const;

  std::string name_;
  RecordFile file_;
  int lock_ = -1;
  bool started_ = false, undoBegun_ = false, undone_ = false;
  Header header_;
  std::vector<Entry> records_;
  std::int64_t end_ = 0;  // past the last whole entry
  std::int64_t tornAt_ = -1;
};

#endif  // EMPUPDATE_JOURNAL_JOURNAL_H_
