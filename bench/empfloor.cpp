// empfloor: the floor of empupdate's design, as a process of its own, for
// the benchmark to time the way it times empupdate.
//
// It reads employee.dat once, in blocks of 1 MiB, as the indexing must;
// then, for each operation of OPS (a file of FloorOp), it makes exactly the
// system calls the design makes per record: open employee.dat, seek, read
// or write 60 bytes, close. It parses nothing and checks nothing.
//
// Usage: empfloor [OPS]   (in the directory of employee.dat)
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "FloorOp.h"

int main(int argc, char** argv) {
  // Aligned to a page, as the file's pages are: a copy whose source and
  // destination lie a few bytes apart within a page runs many times slower
  // on some processors, and the floor must not pay what the design needn't.
  alignas(4096) static char block[1 << 20];
  int fd = ::open("employee.dat", O_RDONLY);
  while (::read(fd, block, sizeof block) > 0) {
  }
  ::close(fd);
  if (argc < 2) return 0;

  std::vector<FloorOp> ops;
  fd = ::open(argv[1], O_RDONLY);
  for (FloorOp op; ::read(fd, &op, sizeof op) == sizeof op;) ops.push_back(op);
  ::close(fd);
  char record[sizeof FloorOp::record];
  for (const FloorOp& op : ops) {
    if (op.load != 0) {
      fd = ::open("employee.dat", O_RDONLY);
      ::lseek(fd, op.offset, SEEK_SET);
      if (::read(fd, record, sizeof record) != sizeof record) std::abort();
      ::close(fd);
    }
    fd = ::open("employee.dat", O_WRONLY);
    ::lseek(fd, op.offset, SEEK_SET);
    if (::write(fd, op.record, sizeof op.record) != sizeof op.record) {
      std::abort();
    }
    ::close(fd);
  }
  return 0;
}
