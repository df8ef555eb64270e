// Employee: one employee record in memory, its 60-byte form in employee.dat,
// and the class-wide index and operations on that file.
//
// Record layout (all integers int32, two's complement, little-endian):
//
//   bytes  size  field
//    0-3      4  id        employee number
//    4-7      4  deleted   0 live, 1 marked deleted
//    8-39    32  name      the whole field as in memory: the name, its NUL,
//                          then whatever the field held after it
//   40-43     4  category  0 "S", 1 "H", -1 "*"
//   44-47     4  amount
//   48-59    12  date      year, month, day (the Date binary form)
//
// Records lie back to back in the order they were appended; there is no
// header. A record does not store its own position.
//
// File operations. buildIndex() is called once, first; then load(), write()
// and add() in any order. Each opens its own stream on employee.dat, kept in
// inFile or outFile, and closes and releases it before returning, on every
// path; between operations no stream is open and the file holds every change
// made so far. Only buildIndex() creates a missing file. Every failure is
// thrown as one of the error classes below (empty, thrown by value); the
// errno behind a system failure travels with it: the object thrown is of a
// type derived from both the error class and Cause.
#ifndef EMPUPDATE_EMPLOYEE_EMPLOYEE_H_
#define EMPUPDATE_EMPLOYEE_EMPLOYEE_H_

#include <cstddef>
#include <cstdint>
#include <functional>

#include "Array.h"
#include "Date.h"
#include "IdTable.h"
#include "RecordFile.h"

class Employee {
 public:
  // One index entry: an employee number and the position of its record.
  struct Location {
    std::int32_t id;
    std::int32_t offset;
  };

  struct EmployeeError {};
  // The errno of the system call a failure comes from, carried by the
  // object thrown for it, apart from the error class.
  struct Cause {
    int error;
  };
  // employee.dat can be neither opened nor created (or has vanished during
  // the run).
  struct CantOpenFile : EmployeeError {};
  // employee.dat is a FIFO, socket or device, or a file of the kernel's
  // (/proc, /sys): no regular file.
  struct NotRegularFile : CantOpenFile {};
  // load(): the employee number is not in the index.
  struct NoSuch : EmployeeError {};
  // read(): fewer than 4 bytes where a record should start; load(): the
  // record found can no longer be read in full.
  struct EndOfFile {};
  // Reading employee.dat failed other than at its end (an I/O error).
  struct ReadFailed : EmployeeError {};
  // Writing or closing employee.dat failed (a full disk, a size limit).
  // A record written in part has been put back as it was.
  struct WriteFailed : EmployeeError {};
  // A write failed part-way and what was there could not be put back
  // either: that record is torn.
  struct RecordTorn : WriteFailed {};
  // buildIndex(): the size is not a whole number of records.
  struct BadSize : EmployeeError {};
  // The file is, or an add would make it, 2^31 bytes or more.
  struct TooLarge : EmployeeError {};
  // add(): the highest employee number, 2147483647, is already given out.
  struct NoFreeId : EmployeeError {};
  // buildIndex(): another run holds employee.dat.
  struct InUse : EmployeeError {};
  // buildIndex(): the lock that keeps other runs out could not be taken.
  struct LockFailed : EmployeeError {};
  // The file is no longer the size the index knows: some other program cut
  // or extended it during the run.
  struct FileChanged : EmployeeError {};

  static constexpr std::int32_t kRecordBytes = 60;
  // The largest file the format holds: a record's position is an int32, so
  // one of 2^31 bytes or more is TooLarge.
  static constexpr std::int64_t kMaxFileBytes = INT32_MAX;
  static constexpr std::size_t kNameBytes = 32;
  // Where each field starts in the record: the layout table above.
  static constexpr std::size_t kIdAt = 0, kDeletedAt = 4, kNameAt = 8,
                               kCategoryAt = 40, kAmountAt = 44, kDateAt = 48;
  static constexpr const char* kFileName = "employee.dat";

  // Name all zero, offset and id -1, amount, category and deleted 0, date
  // 1901-01-01.
  Employee() = default;

  // Copies at most 31 bytes and a NUL into the start of the name field;
  // the bytes after the NUL keep what they held.
  void setName(const char* newName);
  void setCategory(std::int32_t c) { category = c; }
  void setAmount(std::int32_t a) { amount = a; }
  void setDate(const Date& d) { date = d; }
  void setDeleted(std::int32_t d) { deleted = d; }

  std::int32_t getId() const { return id; }
  std::int32_t getDeleted() const { return deleted; }
  // The 32 bytes of the name field, not necessarily NUL-terminated.
  const char* getNameField() const { return name; }
  std::int32_t getCategory() const { return category; }
  std::int32_t getAmount() const { return amount; }
  const Date& getDate() const { return date; }

  // The codec on memory. encode() fills the 60 bytes of the record; decode()
  // takes the first n bytes (n <= 60) and leaves the fields beyond them as
  // they were (a field cut in the middle is overwritten as far as n goes).
  void encode(unsigned char* record) const;
  void decode(const unsigned char* record, std::size_t n);

  // Reads the record at the position of inFile into this object and sets
  // offset to that position. Throws EndOfFile when fewer than 4 bytes are
  // left, ReadFailed on an I/O error; a record cut after 4 to 59 bytes is
  // decoded as far as it goes and raises nothing. Returns the bytes read.
  std::size_t read();

  // Scans employee.dat once, creating it empty when missing, and fills the
  // index, count, maxId and endOffset. First it locks the file (flock,
  // exclusive), until the process ends (or resetIndex()), so that two runs
  // never apply batches to one file at once; it does not wait for it. It is
  // a flock, not a POSIX record lock: the process drops a POSIX lock as
  // soon as it closes any descriptor of the file, which each per-operation
  // stream does. Throws CantOpenFile, InUse, LockFailed, BadSize,
  // TooLarge, FileChanged or ReadFailed; a refused file is left as it was.
  // `scanned`, when given, is handed every record of the file as the scan
  // reads them, in blocks of whole records.
  static void buildIndex(const std::function<void(const unsigned char*,
                                                  std::size_t)>& scanned = {});
  // Opens employee.dat, creating it when missing if `create`, and takes the
  // run's lock on it, as buildIndex() does, for a program that must look at
  // or mend the file before it is indexed (or without indexing it);
  // buildIndex() keeps the lock. Throws CantOpenFile, NotRegularFile, InUse
  // or LockFailed.
  static void lockFile(bool create);
  // Whether `fd` is open on the file that buildIndex() indexed.
  static bool holds(int fd);
  // The position of the first record holding `id`, or -1.
  static std::int32_t find(std::int32_t id);
  // Reads the record of the first index entry holding `wanted` into this
  // object. Throws NoSuch (object unchanged), CantOpenFile, FileChanged (no
  // regular file there any more), EndOfFile (the record can't be read in
  // full) or ReadFailed.
  void load(std::int32_t wanted);
  // Gives this record the next employee number and appends it. Throws
  // NoFreeId or TooLarge before anything changes; CantOpenFile, FileChanged
  // or WriteFailed after the index took the entry, with the file cut back
  // to its former end.
  void add();
  // Writes this record back at its offset. Throws CantOpenFile,
  // FileChanged, WriteFailed or RecordTorn. A write that fails part-way puts
  // the record's former bytes back: those this object last loaded or
  // wrote there.
  void write();

  // Told of every record about to be written, before a byte of it is: the
  // journal's way in. `before` is what the file holds there, as this
  // object last read or wrote it (null for an append, or when it did
  // neither), `after` the 60 bytes about to be written. What it throws
  // leaves the record unwritten.
  class WriteAhead {
   public:
    virtual void beforeWrite(std::int32_t at, bool appending,
                             const unsigned char* before,
                             const unsigned char* after) = 0;

   protected:
    ~WriteAhead() = default;
  };
  // From now on every write is told to `w` first; null: to nobody.
  static void setWriteAhead(WriteAhead* w) { writeAhead = w; }

  // The highest employee number held or given out: the last one an add
  // gave, right after it.
  static std::int32_t getMaxId() { return maxId; }
  // Throws what add() would, NoFreeId or TooLarge, when `adds` more could
  // not all be made: for a run that must know before it writes anything.
  static void checkRoom(std::int64_t adds);
  // Back to the state at program start, lock released, so that a tool or
  // test can index another file in the same process.
  static void resetIndex();

 private:
  // Writes the record at offset; an append that fails is cut back off.
  void writeAt(bool appending);
  // After a write of `landed` bytes of this record that failed, on `file`
  // open for writing: puts back what was there; false when it can't.
  bool putBack(RecordFile& file, bool appending, std::size_t landed) const;
  // Opens `file` on employee.dat; throws CantOpenFile or NotRegularFile
  // at the start of the run, which alone creates a missing file. Later,
  // anything but a regular file there throws FileChanged: the file indexed
  // was one, and another program has put this one in its place.
  static void open(RecordFile& file, RecordFile::Access access, bool atStart,
                   RecordFile::Check check = RecordFile::Check::kFile);
  // Opens and locks employee.dat for the scan of buildIndex(), and returns
  // its size, judged before a byte is read.
  static std::int64_t openToIndex();
  // Locks the file open on inFile, unless the lock is held on it already,
  // and notes it as the file indexed.
  static void takeLock();
  // The entry holding `wanted` in the ascending index, or -1: a few steps
  // guided by the numbers' spread, then a binary search.
  static std::int32_t searchAscending(std::int32_t wanted);
  // Remembers the bytes at `at` as the ones to put back should a write
  // there fail part-way.
  void keepFormer(const unsigned char* record, std::int32_t at);

  char name[kNameBytes] = {};
  std::int32_t offset = -1;
  std::int32_t id = -1;
  std::int32_t amount = 0;
  std::int32_t category = 0;
  Date date{1901, 1, 1};
  std::int32_t deleted = 0;
  // What the file held at formerOffset when this object last read or wrote
  // it there, or formerOffset -1: the bytes a failed write puts back.
  unsigned char former[kRecordBytes];
  std::int32_t formerOffset = -1;

  static inline Array<Location> index{1};
  // Look-ups. While the numbers of the index ascend, as in every file that
  // only ever grew by adds, the index is searched by where a number must
  // stand in it: no table, no build. Otherwise a table gives the first
  // entry that holds each number.
  static inline bool ascending = true;
  static inline IdTable firstEntry;
  static inline std::int32_t count = 0;
  static inline std::int32_t maxId = 0;
  static inline std::int32_t endOffset = 0;
  static inline RecordFile* inFile = nullptr;
  static inline RecordFile* outFile = nullptr;
  static inline int lockDescriptor = -1;
  static inline WriteAhead* writeAhead = nullptr;
  // The file buildIndex() indexed: every write checks it writes there.
  static inline SystemCalls::Facts indexed = {};
};

#endif  // EMPUPDATE_EMPLOYEE_EMPLOYEE_H_
