// empfloor: the floor of empupdate's design, as a process of its own, for
// the benchmark to time the way it times empupdate.
//
// It reads employee.dat once, in blocks of 128 KiB (the size the indexing
// measured best), as the indexing must; then, for each operation of OPS (a
// file of FloorOp, read at once), it makes exactly the system calls the
// design makes per record: open employee.dat, seek, read or write 60
// bytes, close. It parses nothing and checks nothing, and it needs no C++
// runtime: its start-up is the C library's alone.
//
// Usage: empfloor [OPS]   (in the directory of employee.dat)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "FloorOp.h"

int main(int argc, char** argv) {
  // Aligned to a page, as the file's pages are: a copy whose source and
  // destination lie a few bytes apart within a page runs many times slower
  // on some processors, and the floor must not pay what the design needn't.
  alignas(4096) static char block[128 << 10];
  int fd = ::open("employee.dat", O_RDONLY);
  while (::read(fd, block, sizeof block) > 0) {
  }
  ::close(fd);
  if (argc < 2) return 0;

  fd = ::open(argv[1], O_RDONLY);
  struct stat facts {};
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
