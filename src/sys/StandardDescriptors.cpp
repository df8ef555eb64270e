#include "StandardDescriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

bool StandardDescriptors::ensureOpen() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // The lowest free descriptor is `fd` itself, since those below it are
    // open by now. Read-only: output meant for a closed stream fails, and
    // is reported as failed (where it can be), instead of vanishing.
    if (::open("/dev/null", O_RDONLY) != fd) return false;
  }
  return true;
}
