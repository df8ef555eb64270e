// RecordFile: the stream of one operation on employee.dat, over a POSIX
// descriptor of a regular file. Its system calls go through SystemCalls.
//
// - Opens only regular files (a link to one included): a directory, FIFO or
//   device is refused, and the open of a FIFO never waits (nor, with
//   Check::kTypeFirst, happens at all). A missing file is created (mode
//   0666 less the umask) only on request; an existing file is never
//   truncated.
// - Knows its position without asking the kernel, also after a short or
//   failed read, and reads and writes at it with pread/pwrite: one system
//   call per record, no buffer in between.
// - Reports every failure: read() and write() say when they failed, and
//   error() keeps the errno. close() reports a failed close.
// The object owns its descriptor and closes it when destroyed.
#ifndef EMPUPDATE_EMPLOYEE_RECORDFILE_H_
#define EMPUPDATE_EMPLOYEE_RECORDFILE_H_

#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <new>
#include <numeric>

#include "SystemCalls.h"

class RecordFile {
 public:
  enum class Access { kRead, kWrite, kReadWrite };
  // What open() learns of the file: its facts (statx), refusing any but a
  // regular file; the same, and first the type the name leads to, so that
  // a FIFO or device is refused without being opened (an open of a FIFO
  // releases a writer waiting at its other end), where one may stand by
  // mistake; or nothing, for a read whose every use is checked later (a
  // FIFO, socket or directory then fails the read itself).
  enum class Check { kFile, kTypeFirst, kNone };
  // error() after open() refused a FIFO, socket or device.
  static constexpr int kNotRegularFile = SystemCalls::kNotRegularFile;

  RecordFile() = default;
  ~RecordFile() { close(); }
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // Opens `name` at position 0; false, with error() set, when it can't be
  // opened or fails `check`.
  bool open(const char* name, Access access, bool create,
            Check check = Check::kFile);
  // Closes the file; false, with error() set, when close reports an error.
  // Closing a closed file succeeds.
  bool close();

  // Reads up to n bytes at the position and moves past them. Returns the
  // number read, less than n only at the end of the file, or -1 with
  // error() set when the file could not be read.
  std::int64_t read(void* buffer, std::size_t n);
  // Writes n bytes at the position and moves past those written. Returns
  // how many were written: fewer than n, with error() set, when the rest
  // could not be (the first ones may have landed all the same).
  std::size_t write(const void* buffer, std::size_t n);

  // Reads `count` records of `size` bytes (at most 128 KiB) from the start
  // of the file, in blocks of about 128 KiB, and calls fn(block, n, first)
  // for each block of n records read, the first of them the record number
  // `first` (from 0). Returns how many records were read: fewer than
  // `count` when the file ended first, or -1, with error() set, when it
  // could not be read.
  template <typename Fn>
  std::int64_t forEachBlock(std::size_t size, std::int64_t count, Fn fn);
  // The same, calling fn(record, position) for each record read.
  template <typename Fn>
  std::int64_t forEachRecord(std::size_t size, std::int64_t count, Fn fn) {
    return forEachBlock(
        size, count,
        [&](const unsigned char* block, std::int64_t n, std::int64_t first) {
          for (std::int64_t r = 0; r < n; ++r) {
            fn(block + r * size, (first + r) * size);
          }
        });
  }

  void seek(std::int64_t position) { pos_ = position; }
  std::int64_t position() const { return pos_; }
  // What open() learnt of the file: type, size, device and inode (all 0
  // but the type after Check::kNone).
  const SystemCalls::Facts& facts() const { return facts_; }
  // Current size, or -1 with error() set.
  std::int64_t currentSize();
  // Cuts the file to `size` bytes; false, with error() set, on failure.
  bool truncate(std::int64_t size);
  // The open descriptor, still owned by this object; -1 when closed.
  int descriptor() const { return fd_; }
  // errno of the last failure, 0 while none.
  int error() const { return error_; }

 private:
  int fd_ = -1;
  std::int64_t pos_ = 0;
  SystemCalls::Facts facts_ = {};
  int error_ = 0;
};

template <typename Fn>
std::int64_t RecordFile::forEachBlock(std::size_t size, std::int64_t count,
                                      Fn fn) {
  // Each block starts at a multiple of a page in the file and lands at the
  // start of a page in memory: the kernel's copy runs many times slower on
  // some processors when its source and destination lie a few bytes apart
  // within a page. A block is a whole number of pages and of records where
  // the buffer holds one such (2048 records of 60 bytes in 30 pages).
  //
  // The buffer is small: its pages fault in once and stay in the
  // processor's cache from one block to the next. A buffer of 1 MiB cost a
  // page fault for each of its 256 pages, more than the reads a smaller
  // one adds; one of 16 KiB reads too often. It is given back after the
  // scan, so that it takes no room while the look-up table is built.
  constexpr std::size_t kPage = 4096, kBytes = 128 << 10;
  if (size > kBytes) {
    error_ = EINVAL;
    return -1;
  }
  struct Mapping {
    void* at = ::mmap(nullptr, kBytes, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ~Mapping() {
      if (at != MAP_FAILED) ::munmap(at, kBytes);
    }
  } mapping;
  if (mapping.at == MAP_FAILED) throw std::bad_alloc();
  auto* const block = static_cast<unsigned char*>(mapping.at);
  const std::int64_t aligned = std::int64_t(kPage / std::gcd(size, kPage));
  std::int64_t perBlock = std::int64_t(kBytes / size);
  if (perBlock >= aligned) perBlock -= perBlock % aligned;
  seek(0);
  std::int64_t done = 0;
  while (done < count) {
    const std::int64_t wanted = std::min(perBlock, count - done);
    const std::int64_t got =
        read(block, static_cast<std::size_t>(wanted) * size);
    if (got < 0) return -1;
    const std::int64_t whole = got / std::int64_t(size);
    if (whole > 0) fn(block, whole, done);
    done += whole;
    if (whole < wanted) break;  // the file ended first
  }
  return done;
}

#endif  // EMPUPDATE_EMPLOYEE_RECORDFILE_H_
