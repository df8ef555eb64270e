#include "DryRun.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "EmpTrans.h"
#include "Employee.h"
#include "SystemCalls.h"

namespace {

// What the run would find under one of the two names.
struct Found {
  int fd = -1;    // what its opens are given a copy of, or -1
  int error = 0;  // errno of the open when fd is -1
  bool writable = false;
  int writeError = EACCES;  // errno of an open for writing, when not
  bool lockedByAnother = false;
  std::string where;  // the file the name leads to, for a missing one
  std::uint64_t device = 0, inode = 0;
};

// What the opens and the lock of the run are given in their place: the
// state of the system calls DryRun puts in, as the real calls have theirs
// in the kernel.
Found employee, trans;

std::string directoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// For a name the run's open would create: the file it would create, as an
// absolute path, following symbolic links as open(O_CREAT) does; empty,
// with *error set to the errno the open would fail with, when it could not
// be created.
std::string wouldCreate(const char* name, int* error) {
  std::string path = name;
  *error = ELOOP;  // unless the links end within the kernel's limit
  for (int links = 0; links <= 40; ++links) {
    SystemCalls::Facts link{};
    if (SystemCalls::look(path.c_str(), &link, O_NOFOLLOW) != 0) {
      *error = errno;
      if (errno != ENOENT) return "";
      const std::string dir = directoryOf(path);
      char real[PATH_MAX];
      if (::realpath(dir.c_str(), real) == nullptr ||
          ::faccessat(AT_FDCWD, real, W_OK | X_OK, AT_EACCESS) != 0) {
        *error = errno;
        return "";
      }
      return std::string(real) + "/" + path.substr(path.rfind('/') + 1);
    }
    if (link.type != S_IFLNK) return "";
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) return "";
    const std::string next(target, static_cast<std::size_t>(n));
    path = next[0] == '/' ? next : directoryOf(path) + "/" + next;
  }
  return "";  // a loop of links: the open fails with ELOOP
}

// Whether another process holds a flock on the file of `f`, which the
// run's own lock would meet. It is read from /proc/locks: trying the lock,
// even shared and for an instant, could make a real run starting then
// refuse.
bool lockedByAnother(const Found& f) {
  char wanted[64];
  std::snprintf(wanted, sizeof wanted, " %02x:%02x:%llu ", major(f.device),
                minor(f.device), static_cast<unsigned long long>(f.inode));
  std::FILE* locks = std::fopen("/proc/locks", "re");
  if (locks == nullptr) return false;
  bool held = false;
  char line[256];
  while (!held && std::fgets(line, sizeof line, locks) != nullptr) {
    held = std::strstr(line, " FLOCK ") != nullptr &&
           std::strstr(line, wanted) != nullptr;
  }
  std::fclose(locks);
  return held;
}

bool copyInto(int to, int from, std::int64_t size) {
  // A file the run refuses for its size is never read: its size will do.
  if (size > INT32_MAX) return ::ftruncate(to, size) == 0;
  const auto buffer = std::make_unique<char[]>(1 << 20);
  for (;;) {
    const ssize_t n = systemCalls.read(from, buffer.get(), 1 << 20);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0;
    for (ssize_t put = 0; put < n;) {
      const ssize_t w = ::write(to, buffer.get() + put, n - put);
      if (w < 0) return false;
      put += w;
    }
  }
}

// Looks at the file under `name` for `f`; returns the errno of a copy of
// it that could not be made, or 0.
int look(Found& f, const char* name) {
  // The type is learnt first, through a descriptor that opens nothing: the
  // open of a FIFO would release a writer waiting at its other end.
  SystemCalls::Facts facts{};
  const int path = systemCalls.open(name, O_PATH | O_CLOEXEC, 0);
  if (path >= 0 && systemCalls.stat(path, &facts) == 0 &&
      facts.type != S_IFREG) {
    f.fd = path;  // refused for what it is, as the run would
    return 0;
  }
  if (path >= 0) systemCalls.close(path);
  const int fd = systemCalls.open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
  if (fd < 0) {
    f.error = errno;
    if (f.error != ENOENT) return 0;
    f.where = wouldCreate(name, &f.error);
    if (f.where.empty()) return 0;
    f.writable = true;
    // A link that leads to the employee file the run creates first.
    if (&f == &trans && f.where == employee.where) {
      f.fd = ::fcntl(employee.fd, F_DUPFD_CLOEXEC, 0);
      return 0;
    }
    f.fd = ::memfd_create(name, MFD_CLOEXEC);
    return 0;
  }
  if (systemCalls.stat(fd, &facts) != 0 || facts.type != S_IFREG ||
      SystemCalls::kernelFile(fd)) {
    f.fd = fd;  // refused for what it is, as the run would
    return 0;
  }
  f.device = facts.device;
  f.inode = facts.inode;
  f.writable = ::faccessat(AT_FDCWD, name, W_OK, AT_EACCESS) == 0;
  if (!f.writable) f.writeError = errno;
  if (&f == &trans) {
    if (employee.inode == facts.inode && employee.device == facts.device &&
        employee.fd >= 0) {
      f.fd = ::fcntl(employee.fd, F_DUPFD_CLOEXEC, 0);
      systemCalls.close(fd);
    } else {
      f.fd = fd;  // only ever read: the run reads the file itself
    }
    return 0;
  }
  f.lockedByAnother = lockedByAnother(f);
  f.fd = ::memfd_create(name, MFD_CLOEXEC);
  // A copy that can't be made (a read error, a file-size limit, no memory)
  // leaves nothing to check: the real file is not what the run may use.
  const int error = f.fd < 0 || !copyInto(f.fd, fd, facts.size) ? errno : 0;
  systemCalls.close(fd);
  return error;
}

int openCopy(const char* name, int flags, mode_t mode) {
  Found* f = std::strcmp(name, Employee::kFileName) == 0   ? &employee
             : std::strcmp(name, EmpTrans::kFileName) == 0 ? &trans
                                                           : nullptr;
  if (f == nullptr) {
    return SystemCalls::real().open(name, flags & ~O_CREAT, mode);
  }
  if (f->fd < 0) {
    errno = f->error;
    return -1;
  }
  if ((flags & O_ACCMODE) != O_RDONLY && !f->writable) {
    errno = f->writeError;
    return -1;
  }
  const int copy = ::fcntl(f->fd, F_DUPFD_CLOEXEC, 0);
  if (copy >= 0) ::lseek(copy, 0, SEEK_SET);
  return copy;
}

int lockCopy(int fd) {
  if (employee.lockedByAnother) {
    errno = EWOULDBLOCK;
    return -1;
  }
  // Nothing is locked: a descriptor stands for the lock, as the run's
  // lock takes one.
  return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

}  // namespace

DryRun::Setting DryRun::install() {
  Setting setting;
  setting.error = look(employee, Employee::kFileName);
  if (setting.error != 0) return setting;
  look(trans, EmpTrans::kFileName);
  setting.createsEmployee = !employee.where.empty();
  setting.createsTrans = !trans.where.empty();
  systemCalls.open = openCopy;
  systemCalls.lock = lockCopy;
  return setting;
}
