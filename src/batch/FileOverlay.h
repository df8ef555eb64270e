// FileOverlay: a file as a dry run's writes leave it, without writing it.
// The real file is read where it lies, through a descriptor opened for
// reading alone; what the run writes is kept in memory over it, a piece
// for each record written, and its size is kept apart. So a dry run of a
// 2 GiB file reads it as the run does, once, and holds in memory only what
// the batch changes, instead of a copy of it all.
//
// Reads, writes and size changes behave as the kernel's on a regular file
// (a read past the end is short, a write past it leaves zeros between, a
// truncation loses what lies beyond), including the file-size limit of
// the process (RLIMIT_FSIZE): a write that would pass it is cut short at
// it, or fails with EFBIG. Bytes of the real file that another program
// changes are seen as they stand when read, as a real run would see them.
//
// It does not own the descriptor. The calls return as the system calls do
// (-1 with errno set); none throws: memory for a piece that can't be had
// fails the write with ENOMEM.
#ifndef EMPUPDATE_BATCH_FILEOVERLAY_H_
#define EMPUPDATE_BATCH_FILEOVERLAY_H_

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>

class FileOverlay {
 public:
  // Pieces are this long and start at multiples of it: a record's writes
  // each fill one whole, and need no read of the file first.
  static constexpr std::size_t kPiece = 60;

  // How the real file is read: pread(2), or what stands in for it.
  using Read = ssize_t (*)(int fd, void* buffer, std::size_t n, off_t at);

  // Over the file open on `base` for reading, `size` bytes long, read
  // through `read`; a base of -1 is an empty file.
  FileOverlay(int base, std::int64_t size, Read read);

  ssize_t pread(void* buffer, std::size_t n, std::int64_t at) const;
  ssize_t pwrite(const void* buffer, std::size_t n, std::int64_t at);
  int truncate(std::int64_t size);
  std::int64_t size() const { return size_; }

 private:
  using Piece = std::array<unsigned char, kPiece>;
  // Reads the file's bytes, without the pieces: the real file's up to
  // baseEnd_, zeros after.
  ssize_t readBelow(unsigned char* out, std::size_t n, std::int64_t at) const;

  int base_;
  Read read_;
  // The process's file-size limit, when it has one.
  std::int64_t limit_ = INT64_MAX;
  // Past this the real file is no longer the overlay's: it was cut there.
  std::int64_t baseEnd_;
  std::int64_t size_;
  std::map<std::int64_t, Piece> pieces_;  // by piece number
};

#endif  // EMPUPDATE_BATCH_FILEOVERLAY_H_
