#include "Employee.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>

#include "LittleEndian.h"

namespace {

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// The stream of one operation: created on the heap with its pointer in the
// class-wide slot, and closed and released on every path out of the
// operation, errors included.
class StreamSlot {
 public:
  explicit StreamSlot(RecordFile*& slot) : slot_(slot) {
    slot_ = new RecordFile;
  }
  ~StreamSlot() {
    delete slot_;  // closes the file if still open
    slot_ = nullptr;
  }
  StreamSlot(const StreamSlot&) = delete;
  StreamSlot& operator=(const StreamSlot&) = delete;

 private:
  RecordFile*& slot_;
};

}  // namespace

Array<Employee::Location> Employee::index(1);
IdTable Employee::firstRecord;
std::int32_t Employee::count = 0;
std::int32_t Employee::maxId = 0;
std::int32_t Employee::endOffset = 0;
RecordFile* Employee::inFile = nullptr;
RecordFile* Employee::outFile = nullptr;
int Employee::lastError = 0;
int Employee::lockDescriptor = -1;

Employee::Employee() : offset(-1), id(-1), amount(0), category(0), deleted(0) {
  std::memset(name, 0, sizeof name);
  date.set(1901, 1, 1);
}

void Employee::setName(const char* newName) {
  // Never past the field: a longer name keeps its first 31 characters.
  const std::size_t n = ::strnlen(newName, kNameBytes - 1);
  std::memcpy(name, newName, n);
  name[n] = '\0';
}

void Employee::encode(unsigned char* r) const {
  le32::put(r, id);
  le32::put(r + 4, deleted);
  std::memcpy(r + 8, name, kNameBytes);
  le32::put(r + 40, category);
  le32::put(r + 44, amount);
  date.encode(r + 48);
}

void Employee::decode(const unsigned char* r, std::size_t n) {
  auto field = [&](std::int32_t& f, std::size_t at) {
    if (n >= at + 4) {
      f = le32::get(r + at);
    } else if (n > at) {
      le32::overlay(f, r + at, n - at);
    }
  };
  field(id, 0);
  field(deleted, 4);
  if (n > 8) std::memcpy(name, r + 8, std::min(kNameBytes, n - 8));
  field(category, 40);
  field(amount, 44);
  if (n > 48) date.decode(r + 48, n - 48);
}

std::size_t Employee::read() {
  offset = static_cast<std::int32_t>(inFile->position());
  unsigned char record[kRecordBytes];
  const std::int64_t got = inFile->read(record, kRecordBytes);
  if (got < 0) {
    lastError = inFile->error();
    throw ReadFailed();
  }
  const auto n = static_cast<std::size_t>(got);
  if (n < 4) throw EndOfFile();
  decode(record, n);
  return n;
}

void Employee::buildIndex() { indexFile(true); }

void Employee::indexForCheck() { indexFile(false); }

void Employee::indexFile(bool forRun) {
  StreamSlot slot(inFile);
  if (!inFile->open(kFileName, RecordFile::Access::kRead, forRun)) {
    lastError = inFile->error();
    // A check takes a missing file for the empty one a run would create.
    if (!forRun && lastError == ENOENT) {
      resetIndex();
      return;
    }
    throw CantOpenFile();
  }
  // The lock lives on a descriptor of its own: the per-operation streams
  // open and close the file, which would drop a lock of theirs.
  if (lockDescriptor >= 0) ::close(lockDescriptor);
  lockDescriptor =
      forRun ? ::fcntl(inFile->descriptor(), F_DUPFD_CLOEXEC, 0) : -1;
  if (lockDescriptor >= 0 && ::flock(lockDescriptor, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(lockDescriptor);
    lockDescriptor = -1;
    // Only a lock held by another run refuses; a file system without locks
    // runs unlocked, as the system always did.
    if (error == EWOULDBLOCK) throw InUse();
  }
  // Judged from the size, read under the lock, before a byte is read: a
  // huge sparse file is refused at once, and a damaged last record is never
  // indexed.
  const std::int64_t size = inFile->currentSize();
  if (size < 0) {
    lastError = inFile->error();
    throw ReadFailed();
  }
  if (size > kInt32Max) throw TooLarge();
  if (size % kRecordBytes != 0) throw BadSize();

  count = 0;
  const auto records = static_cast<std::int32_t>(size / kRecordBytes);
  // One growth to the final size, by touching the last entry the scan will
  // use (the one past the last record), instead of a growth by half each
  // time the scan reaches the end: a million employees would otherwise
  // leave a trail of freed copies in the heap twice the index's size.
  index[records].offset = 0;
  firstRecord.clear();
  firstRecord.reserve(static_cast<std::size_t>(records));
  const std::int64_t got = inFile->forEachRecord(
      kRecordBytes, records,
      [](const unsigned char* record, std::int64_t position) {
        const std::int32_t recordId = le32::get(record);
        index[count].offset = static_cast<std::int32_t>(position);
        index[count].id = recordId;
        firstRecord.insertFirst(recordId, static_cast<std::int32_t>(position));
        maxId = std::max(maxId, recordId);
        ++count;
      });
  if (got != records) {
    // An I/O error, or the file shrank under the scan (errno 0).
    lastError = got < 0 ? inFile->error() : 0;
    throw ReadFailed();
  }
  // As a record-by-record scan would, leave the entry past the last one
  // holding the end position.
  endOffset = static_cast<std::int32_t>(size);
  index[count].offset = endOffset;
}

std::int32_t Employee::find(std::int32_t wanted) {
  return firstRecord.find(wanted);
}

void Employee::load(std::int32_t wanted) {
  StreamSlot slot(inFile);
  if (!inFile->open(kFileName, RecordFile::Access::kRead, false)) {
    lastError = inFile->error();
    throw CantOpenFile();
  }
  const std::int32_t position = find(wanted);
  if (position < 0) throw NoSuch();
  inFile->seek(position);
  // A record cut short (the file shrank during the run) must not be used:
  // its missing fields would be stale.
  if (read() != kRecordBytes) throw EndOfFile();
}

void Employee::checkRoomForAdd(std::int32_t highestId, std::int32_t end) {
  if (highestId == kInt32Max) throw NoFreeId();
  if (end > kInt32Max - kRecordBytes) throw TooLarge();
}

void Employee::add() {
  checkRoomForAdd(maxId, endOffset);
  ++maxId;
  index[count].id = maxId;
  id = maxId;
  index[count].offset = endOffset;
  offset = endOffset;
  firstRecord.insertFirst(maxId, endOffset);
  ++count;
  writeAt(true);
  endOffset += kRecordBytes;
}

void Employee::write() { writeAt(false); }

void Employee::writeAt(bool appending) {
  StreamSlot slot(outFile);
  if (!outFile->open(kFileName, RecordFile::Access::kWrite, false)) {
    lastError = outFile->error();
    throw CantOpenFile();
  }
  // Never write past the end the index knows: that would pad the file with
  // zero records or overwrite what another program appended.
  const std::int64_t size = outFile->sizeAtOpen();
  if (appending ? size != offset : offset + kRecordBytes > size) {
    throw FileChanged();
  }
  unsigned char record[kRecordBytes];
  encode(record);
  outFile->seek(offset);
  if (!outFile->write(record, kRecordBytes)) {
    lastError = outFile->error();
    // A torn append is cut off, so the file stays whole records.
    if (appending) outFile->truncate(offset);
    throw WriteFailed();
  }
  if (!outFile->close()) {
    lastError = outFile->error();
    throw WriteFailed();
  }
}

void Employee::resetIndex() {
  if (lockDescriptor >= 0) ::close(lockDescriptor);
  lockDescriptor = -1;
  count = 0;
  maxId = 0;
  endOffset = 0;
  firstRecord.clear();
}
