// empfloor: the floor of empupdate's design, as a process of its own, for
// the benchmark to time the way it times empupdate.
//
// It reads employee.dat once, in blocks of 2048 records (120 KiB: the
// size the indexing measured best, and whole pages), as the indexing must. With
// --index it also stores, in the same pass, the design's index: for each record
// its employee number and position, 8 bytes, in memory allocated for the file's
// size at once and filled by a tight loop. Then, for each operation of OPS (a
// file of FloorOp, read at once), it makes exactly the system calls the
// design makes per record: open employee.dat, seek, read or write 60
// bytes, close. It parses nothing and checks nothing, and it needs no C++
// runtime: its start-up is the C library's alone.
//
// Usage: empfloor [--index] [OPS]   (in the directory of employee.dat)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "FloorOp.h"

int main(int argc, char** argv) {
  // Aligned to a page, as the file's pages are: a copy whose source and
  // destination lie a few bytes apart within a page runs many times slower
  // on some processors, and the floor must not pay what the design needn't.
  constexpr int kRecord = sizeof FloorOp::record;
  alignas(4096) static char block[2048 * kRecord];
  const bool indexing = argc > 1 && std::strcmp(argv[1], "--index") == 0;
  if (indexing) {
    --argc;
    ++argv;
  }
  struct Location {
    std::int32_t id, offset;
  };
  int fd = ::open("employee.dat", O_RDONLY);
  struct stat facts {};
  if (::fstat(fd, &facts) != 0) std::abort();
  Location* const index =
      indexing ? static_cast<Location*>(std::malloc(
                     facts.st_size / kRecord * sizeof(Location) + 1))
               : nullptr;
  Location* entry = index;
  std::int32_t at = 0;
  for (ssize_t n; (n = ::read(fd, block, sizeof block)) > 0;) {
    if (!indexing) continue;
    // A read of a regular file is short only at its end: every block
    // holds whole records.
    for (const char* r = block; r + kRecord <= block + n; r += kRecord) {
      std::memcpy(&entry->id, r, sizeof entry->id);
      entry->offset = at;
      at += kRecord;
      ++entry;
    }
  }
  ::close(fd);
  // The stores are kept: the index counts as used.
  asm volatile("" : : "r"(index) : "memory");
  if (argc < 2) return 0;

  fd = ::open(argv[1], O_RDONLY);
  if (::fstat(fd, &facts) != 0) std::abort();
  auto* ops = static_cast<FloorOp*>(std::malloc(facts.st_size + 1));
  if (::read(fd, ops, facts.st_size) != facts.st_size) std::abort();
  ::close(fd);
  char record[sizeof FloorOp::record];
  for (const FloorOp* op = ops; op != ops + facts.st_size / sizeof *op; ++op) {
    if (op->load != 0) {
      fd = ::open("employee.dat", O_RDONLY);
      ::lseek(fd, op->offset, SEEK_SET);
      if (::read(fd, record, sizeof record) != sizeof record) std::abort();
      ::close(fd);
    }
    fd = ::open("employee.dat", O_WRONLY);
    ::lseek(fd, op->offset, SEEK_SET);
    if (::write(fd, op->record, sizeof op->record) != sizeof op->record) {
      std::abort();
    }
    ::close(fd);
  }
  return 0;
}
