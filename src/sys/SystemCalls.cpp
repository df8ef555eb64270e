#include "SystemCalls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

int openFile(const char* name, int flags, mode_t mode) {
  return ::open(name, flags, mode);
}

int statFile(int fd, mode_t* type, std::int64_t* size) {
  struct statx st;
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_TYPE | STATX_SIZE, &st) != 0) {
    return -1;
  }
  *type = st.stx_mode & S_IFMT;
  *size = static_cast<std::int64_t>(st.stx_size);
  return 0;
}

off_t sizeOf(int fd) {
  int size = 0;  // the bytes from the position, 0, to the end
  if (::ioctl(fd, FIONREAD, &size) != 0) return -1;
  if (size >= 0) return size;
  errno = EFBIG;
  return -1;
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

constexpr SystemCalls kReal = {openFile, statFile,    sizeOf,  ::pread,
                               ::pwrite, ::ftruncate, ::close, lockFile};

}  // namespace

const SystemCalls& SystemCalls::real() { return kReal; }

SystemCalls systemCalls = kReal;
