#include "StandardDescriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

StandardDescriptors::Found StandardDescriptors::ensureOpen() {
  Found found;
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    found.closed |= 1U << fd;
    // The lowest free descriptor is `fd` itself, since those below it are
    // open by now. Read-only: output meant for a closed stream fails, and
    // is reported as failed (where it can be), instead of vanishing.
    if (::open("/dev/null", O_RDONLY) != fd) {
      found.open = false;
      return found;
    }
  }
  return found;
}
