// SystemCalls: the system calls through which the employee file is reached,
// as a table of plain function pointers.
//
// The programs use the real calls and never change the table. A test swaps
// in functions of its own to make a chosen call fail with a chosen errno or
// come up short, and puts `real()` back afterwards. One indirect call per
// system call costs nothing next to the call itself.
#ifndef EMPUPDATE_SYS_SYSTEMCALLS_H_
#define EMPUPDATE_SYS_SYSTEMCALLS_H_

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

struct SystemCalls {
  int (*open)(const char* name, int flags, mode_t mode);
  // The type bits (S_IFMT) and size of an open file. Asks for nothing else:
  // asking for a file's times would make the next write update them finely,
  // which costs a metadata write per record.
  int (*stat)(int fd, mode_t* type, std::int64_t* size);
  // The size of an open regular file, by ioctl FIONREAD: cheaper than
  // stat. The kernel answers it itself for a regular file only; a
  // directory or device fails (ENOTTY, EINVAL), while a FIFO, socket or
  // terminal answers for itself, but can't be read or written at a
  // position. A size past 2^31 - 1 reads as -1, with errno EFBIG.
  off_t (*size)(int fd);
  ssize_t (*pread)(int fd, void* buffer, std::size_t n, off_t at);
  ssize_t (*pwrite)(int fd, const void* buffer, std::size_t n, off_t at);
  int (*ftruncate)(int fd, off_t size);
  int (*close)(int fd);
  // Locks the file behind `fd` with flock(2), exclusively, without waiting.
  // Returns a new descriptor, which holds the lock until it is closed, or -1
  // with errno set (EWOULDBLOCK when another holds a lock on it).
  int (*lock)(int fd);

  static const SystemCalls& real();
};

// The table in use.
extern SystemCalls systemCalls;

#endif  // EMPUPDATE_SYS_SYSTEMCALLS_H_
