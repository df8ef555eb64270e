#include "Employee.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "LittleEndian.h"
#include "SystemCalls.h"

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

// The error E, caught as E, that carries the errno behind it as its Cause:
// E stays the empty class its catchers know, and the cause travels with it
// to whoever tells of it.
template <typename E>
struct Caused : E, Employee::Cause {
  explicit Caused(int error) : Employee::Cause{error} {}
};

}  // namespace

void Employee::setName(const char* newName) {
  // Never past the field: a longer name keeps its first 31 bytes.
  const std::size_t n = ::strnlen(newName, kNameBytes - 1);
  std::memcpy(name, newName, n);
  name[n] = '\0';
}

void Employee::encode(unsigned char* r) const {
  le32::put(r + kIdAt, id);
  le32::put(r + kDeletedAt, deleted);
  std::memcpy(r + kNameAt, name, kNameBytes);
  le32::put(r + kCategoryAt, category);
  le32::put(r + kAmountAt, amount);
  date.writeTo(r + kDateAt);
}

void Employee::decode(const unsigned char* r, std::size_t n) {
  auto field = [&](std::int32_t& f, std::size_t at) {
    if (n > at) le32::overlay(f, r + at, n - at);
  };
  field(id, kIdAt);
  field(deleted, kDeletedAt);
  if (n > kNameAt) {
    std::memcpy(name, r + kNameAt, std::min(kNameBytes, n - kNameAt));
  }
  field(category, kCategoryAt);
  field(amount, kAmountAt);
  if (n > kDateAt) date.readFrom(r + kDateAt, n - kDateAt);
}

std::size_t Employee::read() {
  offset = static_cast<std::int32_t>(inFile->position());
  unsigned char record[kRecordBytes];
  const std::int64_t got = inFile->read(record, kRecordBytes);
  if (got < 0) {
    const int error = inFile->error();
    // Only a FIFO, socket or directory refuses a read at a position: one
    // put in place of employee.dat after its name was looked at.
    if (error == ESPIPE || error == EISDIR) throw FileChanged();
    throw Caused<ReadFailed>(error);
  }
  const auto n = static_cast<std::size_t>(got);
  if (n < 4) throw EndOfFile();
  decode(record, n);
  if (n == kRecordBytes) keepFormer(record, offset);
  return n;
}

void Employee::keepFormer(const unsigned char* record, std::int32_t at) {
  std::memcpy(former, record, kRecordBytes);
  formerOffset = at;
}

void Employee::open(RecordFile& file, RecordFile::Access access, bool atStart,
                    RecordFile::Check check) {
  if (file.open(kFileName, access, atStart, check)) return;
  const int error = file.error();
  // What is no regular file now was one at the start of the run (a FIFO
  // with no reader refuses a write's open with ENXIO).
  if (!atStart && (error == RecordFile::kNotRegularFile || error == EISDIR ||
                   error == ENXIO)) {
    throw FileChanged();
  }
  if (error == RecordFile::kNotRegularFile) throw NotRegularFile();
  throw Caused<CantOpenFile>(error);
}

bool Employee::holds(int fd) {
  SystemCalls::Facts other{};
  return indexed.inode != 0 && systemCalls.stat(fd, &other) == 0 &&
         other.device == indexed.device && other.inode == indexed.inode;
}

std::int64_t Employee::openToIndex() {
  open(*inFile, RecordFile::Access::kRead, true, RecordFile::Check::kTypeFirst);
  if (SystemCalls::kernelFile(inFile->descriptor())) throw NotRegularFile();
  takeLock();
  // Judged from the size, read under the lock, before a byte is read: a
  // huge sparse file is refused at once, and a damaged last record is never
  // indexed.
  const std::int64_t size = inFile->currentSize();
  if (size < 0) throw Caused<ReadFailed>(inFile->error());
  if (size > kMaxFileBytes) throw TooLarge();
  if (size % kRecordBytes != 0) throw BadSize();
  return size;
}

void Employee::takeLock() {
  const SystemCalls::Facts& now = inFile->facts();
  if (lockDescriptor < 0 || now.device != indexed.device ||
      now.inode != indexed.inode) {
    if (lockDescriptor >= 0) systemCalls.close(lockDescriptor);
    // The lock lives on a descriptor of its own: the per-operation streams
    // open and close the file, and the indexing stream is closed too.
    lockDescriptor = systemCalls.lock(inFile->descriptor());
    if (lockDescriptor < 0) {
      if (errno == EWOULDBLOCK) throw InUse();
      throw Caused<LockFailed>(errno);
    }
  }
  indexed = now;
}

void Employee::lockFile(bool create) {
  StreamSlot slot(inFile);
  if (!inFile->open(kFileName, RecordFile::Access::kRead, create,
                    RecordFile::Check::kTypeFirst)) {
    const int error = inFile->error();
    if (error == RecordFile::kNotRegularFile) throw NotRegularFile();
    throw Caused<CantOpenFile>(error);
  }
  if (SystemCalls::kernelFile(inFile->descriptor())) throw NotRegularFile();
  takeLock();
}

void Employee::buildIndex(
    const std::function<void(const unsigned char*, std::size_t)>& sink) {
  StreamSlot slot(inFile);
  const std::int64_t size = openToIndex();
  count = 0;
  const auto records = static_cast<std::int32_t>(size / kRecordBytes);
  // One growth, by touching an entry past the last the scan will use,
  // instead of a growth by half each time the scan reaches the end: a
  // million employees would otherwise leave a trail of freed copies in the
  // heap twice the index's size. Room for half as many adds again comes
  // with it, so that the first adds copy nothing: storage that is never
  // touched costs no memory.
  index[records + records / 2].offset = 0;
  // The entries the scan fills, made resident at once: a page fault for
  // each of their pages cost a run of 100k employees and no transaction a
  // tenth of its time.
  index.populate(records + 1);
  // The scan keeps its figures in locals, written back once a block: the
  // class-wide ones might alias the entries it stores, and would be
  // reloaded and stored at every record. The index is grown already, so
  // its storage stays put and takes the entries unchecked.
  Location* const entries = &index[0];
  std::int32_t scanned = 0, high = maxId;
  std::int64_t previous = std::numeric_limits<std::int64_t>::min();
  bool rising = true;
  const std::int64_t got = inFile->forEachBlock(
      kRecordBytes, records,
      [&](const unsigned char* block, std::int64_t n, std::int64_t first) {
        std::int32_t top = high;
        std::int64_t last = previous;
        bool up = rising;
        auto at = static_cast<std::int32_t>(first * kRecordBytes);
        Location* entry = entries + first;
        for (const unsigned char* r = block; r != block + n * kRecordBytes;
             r += kRecordBytes, at += kRecordBytes, ++entry) {
          const std::int32_t recordId = le32::get(r + kIdAt);
          up &= recordId > last;
          last = recordId;
          entry->id = recordId;
          entry->offset = at;
          top = std::max(top, recordId);
        }
        high = top;
        previous = last;
        rising = up;
        if (sink) sink(block, static_cast<std::size_t>(n * kRecordBytes));
        scanned = static_cast<std::int32_t>(first + n);
      });
  count = scanned;
  maxId = high;
  ascending = rising;
  if (got < 0) throw Caused<ReadFailed>(inFile->error());
  // Shrunk under the scan, lock or not: some program ignores the lock.
  if (got != records) throw FileChanged();
  // As a record-by-record scan would, leave the entry past the last one
  // holding the end position.
  endOffset = static_cast<std::int32_t>(size);
  index[count].offset = endOffset;
}

std::int32_t Employee::find(std::int32_t wanted) {
  const std::int32_t entry =
      ascending
          ? searchAscending(wanted)
          : firstEntry.find(wanted, {&index[0].id, sizeof(Location)}, count);
  return entry < 0 ? -1 : index[entry].offset;
}

std::int32_t Employee::searchAscending(std::int32_t wanted) {
  std::int32_t low = 0, high = count - 1;
  for (int round = 0; low <= high; ++round) {
    const std::int64_t first = index[low].id, last = index[high].id;
    if (wanted < first || wanted > last) return -1;
    // First where the number would stand were the numbers evenly spread
    // (where it does stand in a file of numbers without gaps), then the
    // middle, so that no spread makes a look-up take more than a few steps
    // beyond those of a binary search.
    const std::int32_t at =
        round < 4 && last > first
            ? static_cast<std::int32_t>(low + (wanted - first) * (high - low) /
                                                  (last - first))
            : low + (high - low) / 2;
    const std::int32_t id = index[at].id;
    if (id == wanted) return at;
    if (id < wanted) {
      low = at + 1;
    } else {
      high = at - 1;
    }
  }
  return -1;
}

void Employee::load(std::int32_t wanted) {
  StreamSlot slot(inFile);
  // Unchecked: what is read here is only ever written back by write(),
  // which checks that the file is still the one indexed; and what is no
  // regular file fails the read.
  open(*inFile, RecordFile::Access::kRead, false, RecordFile::Check::kNone);
  const std::int32_t position = find(wanted);
  if (position < 0) throw NoSuch();
  inFile->seek(position);
  // A record cut short (the file shrank during the run) must not be used:
  // its missing fields would be stale.
  if (read() != kRecordBytes) throw EndOfFile();
}

void Employee::add() {
  if (maxId == kInt32Max) throw NoFreeId();
  if (endOffset > kMaxFileBytes - kRecordBytes) throw TooLarge();
  ++maxId;
  index[count].id = maxId;
  id = maxId;
  index[count].offset = endOffset;
  offset = endOffset;
  ++count;
  writeAt(true);
  endOffset += kRecordBytes;
}

void Employee::checkRoom(std::int64_t adds) {
  if (adds > std::int64_t{kInt32Max} - maxId) throw NoFreeId();
  if (endOffset + adds * kRecordBytes > kMaxFileBytes) throw TooLarge();
}

void Employee::write() { writeAt(false); }

void Employee::writeAt(bool appending) {
  StreamSlot slot(outFile);
  open(*outFile, RecordFile::Access::kWrite, false);
  // Only into the file indexed, never past the end the index knows: a
  // file put in its place, or cut or extended by another program, would
  // get records meant for another, zero padding, or records overwritten.
  const SystemCalls::Facts& now = outFile->facts();
  if (now.device != indexed.device || now.inode != indexed.inode ||
      (appending ? now.size != offset : offset + kRecordBytes > now.size)) {
    throw FileChanged();
  }
  unsigned char record[kRecordBytes];
  encode(record);
  if (writeAhead != nullptr) {
    writeAhead->beforeWrite(
        offset, appending,
        appending || formerOffset != offset ? nullptr : former, record);
  }
  outFile->seek(offset);
  const std::size_t put = outFile->write(record, kRecordBytes);
  if (put == kRecordBytes && outFile->close()) {
    keepFormer(record, offset);
    return;
  }
  const int error = outFile->error();
  // A close that fails may have lost the record or not: it is undone
  // through a fresh descriptor all the same.
  if (put == kRecordBytes &&
      !outFile->open(kFileName, RecordFile::Access::kWrite, false)) {
    throw Caused<RecordTorn>(error);
  }
  if (!putBack(*outFile, appending, put)) throw Caused<RecordTorn>(error);
  throw Caused<WriteFailed>(error);
}

bool Employee::putBack(RecordFile& file, bool appending,
                       std::size_t landed) const {
  // The file stays whole records, each as it was: a torn append is cut
  // off, and the bytes that landed of a write in place are put back.
  if (appending) return file.truncate(offset);
  if (landed == 0) return true;
  file.seek(offset);
  return formerOffset == offset && file.write(former, landed) == landed &&
         file.close();
}

void Employee::resetIndex() {
  if (lockDescriptor >= 0) systemCalls.close(lockDescriptor);
  lockDescriptor = -1;
  count = 0;
  maxId = 0;
  endOffset = 0;
  firstEntry.clear();
  indexed = {};
}
