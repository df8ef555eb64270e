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
#include <optional>
#include <string>
#include <vector>

#include "EmpTrans.h"
#include "Employee.h"
#include "FileOverlay.h"
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
  bool overlaid = false;  // its opens are given the employee file's overlay
};

// What the opens and the lock of the run are given in their place: the
// state of the system calls DryRun puts in, as the real calls have theirs
// in the kernel.
Found employee, trans;

// The employee file as the run's writes leave it, the descriptors the
// run's opens of it were given, and the calls that were in the table
// before DryRun's, through which everything else goes.
struct Overlaid {
  std::optional<FileOverlay> file;
  std::vector<bool> descriptors;
  SystemCalls below;

  bool has(int fd) const {
    return fd >= 0 && std::size_t(fd) < descriptors.size() && descriptors[fd];
  }
  void mark(int fd, bool on) {
    if (fd < 0) return;
    if (std::size_t(fd) >= descriptors.size()) descriptors.resize(fd + 1);
    descriptors[fd] = on;
  }
} overlaid;

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

// For a missing file under `name`, which the run's open would create: an
// empty one in its place.
void standIn(Found& f, const char* name) {
  f.where = wouldCreate(name, &f.error);
  if (f.where.empty()) return;
  f.writable = true;
  // A link that leads to the employee file the run creates first.
  if (&f == &trans && f.where == employee.where) {
    f.fd = ::fcntl(employee.fd, F_DUPFD_CLOEXEC, 0);
    f.overlaid = true;
    return;
  }
  // An empty file of the kernel's, in memory, whose descriptors stand for
  // those of the file the run would create; the run's open fails as this
  // one does, if it does.
  f.fd = ::memfd_create(name, MFD_CLOEXEC);
  if (f.fd < 0) {
    f.error = errno;
    return;
  }
  if (&f == &employee) {
    f.overlaid = true;
    overlaid.file.emplace(-1, 0, overlaid.below.pread);
  }
}

// Looks at the file under `name` for `f`.
void look(Found& f, const char* name) {
  // The type is learnt first, through a descriptor that opens nothing: the
  // open of a FIFO would release a writer waiting at its other end.
  SystemCalls::Facts facts{};
  const int path = systemCalls.open(name, O_PATH | O_CLOEXEC, 0);
  if (path >= 0 && systemCalls.stat(path, &facts) == 0 &&
      facts.type != S_IFREG) {
    f.fd = path;  // refused for what it is, as the run would
    return;
  }
  if (path >= 0) systemCalls.close(path);
  const int fd = systemCalls.open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0);
  if (fd < 0) {
    f.error = errno;
    if (f.error != ENOENT) return;
    standIn(f, name);
    return;
  }
  if (systemCalls.stat(fd, &facts) != 0 || facts.type != S_IFREG ||
      SystemCalls::kernelFile(fd)) {
    f.fd = fd;  // refused for what it is, as the run would
    return;
  }
  f.device = facts.device;
  f.inode = facts.inode;
  f.writable = ::faccessat(AT_FDCWD, name, W_OK, AT_EACCESS) == 0;
  if (!f.writable) f.writeError = errno;
  if (&f == &trans) {
    if (employee.inode == facts.inode && employee.device == facts.device &&
        employee.fd >= 0) {
      f.fd = ::fcntl(employee.fd, F_DUPFD_CLOEXEC, 0);
      f.overlaid = true;
      systemCalls.close(fd);
    } else {
      f.fd = fd;  // only ever read: the run reads the file itself
    }
    return;
  }
  f.lockedByAnother = lockedByAnother(f);
  // Read where it lies, through this descriptor opened for reading alone:
  // nothing the run does can write it.
  f.fd = fd;
  f.overlaid = true;
  overlaid.file.emplace(fd, facts.size, overlaid.below.pread);
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
  // Descriptors made so share one position. The transaction file is read
  // from it, and starts at the start as a file freshly opened does; the
  // employee file is only read and written at positions given.
  if (copy >= 0 && f == &trans) ::lseek(copy, 0, SEEK_SET);
  if (f->overlaid) overlaid.mark(copy, true);
  return copy;
}

// The calls on the employee file's descriptors go to its overlay; the
// rest go on below.
int statCopy(int fd, SystemCalls::Facts* facts) {
  const int done = overlaid.below.stat(fd, facts);
  if (done == 0 && overlaid.has(fd)) facts->size = overlaid.file->size();
  return done;
}

ssize_t preadCopy(int fd, void* buffer, std::size_t n, off_t at) {
  if (!overlaid.has(fd)) return overlaid.below.pread(fd, buffer, n, at);
  return overlaid.file->pread(buffer, n, at);
}

ssize_t pwriteCopy(int fd, const void* buffer, std::size_t n, off_t at) {
  if (!overlaid.has(fd)) return overlaid.below.pwrite(fd, buffer, n, at);
  return overlaid.file->pwrite(buffer, n, at);
}

int ftruncateCopy(int fd, off_t size) {
  if (!overlaid.has(fd)) return overlaid.below.ftruncate(fd, size);
  return overlaid.file->truncate(size);
}

// A plain read, at the descriptor's position, which it moves on: of the
// transaction file when that is the employee file.
ssize_t readCopy(int fd, void* buffer, std::size_t n) {
  if (!overlaid.has(fd)) return overlaid.below.read(fd, buffer, n);
  const off_t at = ::lseek(fd, 0, SEEK_CUR);
  if (at < 0) return -1;
  const ssize_t got = overlaid.file->pread(buffer, n, at);
  if (got > 0) ::lseek(fd, at + got, SEEK_SET);
  return got;
}

int closeCopy(int fd) {
  overlaid.mark(fd, false);
  return overlaid.below.close(fd);
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
  overlaid.below = systemCalls;
  look(employee, Employee::kFileName);
  look(trans, EmpTrans::kFileName);
  setting.createsEmployee = !employee.where.empty();
  setting.createsTrans = !trans.where.empty();
  systemCalls.open = openCopy;
  systemCalls.lock = lockCopy;
  systemCalls.stat = statCopy;
  systemCalls.pread = preadCopy;
  systemCalls.pwrite = pwriteCopy;
  systemCalls.ftruncate = ftruncateCopy;
  systemCalls.read = readCopy;
  systemCalls.close = closeCopy;
  return setting;
}
