#include "SystemCalls.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

int openFile(const char* name, int flags, mode_t mode) {
  return ::open(name, flags, mode);
}

int statFile(int fd, SystemCalls::Facts* facts) {
  struct statx st;
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_TYPE | STATX_SIZE | STATX_INO,
              &st) != 0) {
    return -1;
  }
  facts->type = st.stx_mode & S_IFMT;
  facts->size = static_cast<std::int64_t>(st.stx_size);
  facts->device = makedev(st.stx_dev_major, st.stx_dev_minor);
  facts->inode = st.stx_ino;
  return 0;
}

int lockFile(int fd) {
  const int held = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (held < 0) return -1;
  if (::flock(held, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(held);
    errno = error;
    return -1;
  }
  return held;
}

constexpr SystemCalls kReal = {openFile, statFile,    ::pread,
                               ::pwrite, ::ftruncate, ::close,
                               lockFile, ::read,      ::getrandom};

}  // namespace

const SystemCalls& SystemCalls::real() { return kReal; }

int SystemCalls::look(const char* name, Facts* facts, int flags) {
  const int fd = systemCalls.open(name, O_PATH | O_CLOEXEC | flags, 0);
  if (fd < 0) return -1;
  const int rc = systemCalls.stat(fd, facts);
  const int error = errno;
  systemCalls.close(fd);
  errno = error;
  return rc;
}

bool SystemCalls::kernelFile(int fd) {
  constexpr unsigned long kKernelFileSystems[] = {
      PROC_SUPER_MAGIC,    SYSFS_MAGIC,      DEBUGFS_MAGIC,
      TRACEFS_MAGIC,       SECURITYFS_MAGIC, CGROUP_SUPER_MAGIC,
      CGROUP2_SUPER_MAGIC, BPF_FS_MAGIC,     EFIVARFS_MAGIC};
  struct statfs fs;
  return ::fstatfs(fd, &fs) == 0 &&
         std::ranges::count(kKernelFileSystems,
                            static_cast<unsigned long>(fs.f_type)) > 0;
}

std::string SystemCalls::errorText(int error) {
  if (error == kNotRegularFile) return "not a regular file";
  return error == 0 ? "unknown error" : std::strerror(error);
}

SystemCalls systemCalls = kReal;
