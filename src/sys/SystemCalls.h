// SystemCalls: the system calls through which the employee file and the
// transaction file are reached, and the look-up table draws its random key,
// as a table of plain function pointers.
//
// Every open, stat, read and close of those two files goes through it,
// looks at a name included. The programs use the real calls; the dry run
// swaps in its copies, and a test functions of its own, to make a chosen
// call fail with a chosen errno or come up short. One indirect call per
// system call costs nothing next to the call itself.
#ifndef EMPUPDATE_SYS_SYSTEMCALLS_H_
#define EMPUPDATE_SYS_SYSTEMCALLS_H_

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

struct SystemCalls {
  // What is known of an open file: its type bits (S_IFMT), size, and the
  // device and inode that tell it from every other file.
  struct Facts {
    mode_t type;
    std::int64_t size;
    std::uint64_t device, inode;
  };

  int (*open)(const char* name, int flags, mode_t mode);
  // The facts of an open file. Asks for nothing else: asking for a file's
  // times would make the next write update them finely, which costs a
  // metadata write per record.
  int (*stat)(int fd, Facts* facts);
  ssize_t (*pread)(int fd, void* buffer, std::size_t n, off_t at);
  ssize_t (*pwrite)(int fd, const void* buffer, std::size_t n, off_t at);
  int (*ftruncate)(int fd, off_t size);
  int (*close)(int fd);
  // Locks the file behind `fd` with flock(2), exclusively, without waiting.
  // Returns a new descriptor, which holds the lock until it is closed, or -1
  // with errno set (EWOULDBLOCK when another holds a lock on it).
  int (*lock)(int fd);
  // A plain read at the file's position: the transaction file's.
  ssize_t (*read)(int fd, void* buffer, std::size_t n);
  // getrandom(2): the kernel's random bytes, which key the look-up table.
  ssize_t (*random)(void* buffer, std::size_t n, unsigned flags);

  // The error of an open refused for a FIFO, socket or device, in place of
  // an errno.
  static constexpr int kNotRegularFile = -1;

  static const SystemCalls& real();
  // The facts of the file `name` leads to (or, with `flags` O_NOFOLLOW, of
  // a symbolic link itself), through the table: an O_PATH descriptor opened,
  // looked at and closed, which opens nothing, so that a FIFO looked at
  // this way never releases a writer waiting at its other end. -1, with
  // errno set, when there is no such file.
  static int look(const char* name, Facts* facts, int flags = 0);
  // Whether `fd` is open on a file of the kernel's own file systems (/proc,
  // /sys and their kind): regular by its type, but no place for data, and
  // writing it can change the system.
  static bool kernelFile(int fd);
  // The words a diagnostic gives for `error`, an errno or kNotRegularFile
  // ("unknown error" for 0).
  static std::string errorText(int error);
};

// The table in use.
extern SystemCalls systemCalls;

#endif  // EMPUPDATE_SYS_SYSTEMCALLS_H_
