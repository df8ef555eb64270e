#include "RecordFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "SystemCalls.h"

bool RecordFile::open(const char* name, Access access, bool create,
                      Check check) {
  close();
  error_ = 0;
  // O_NONBLOCK keeps the open of a FIFO from waiting for a peer; it is
  // refused below anyway, and it changes nothing for a regular file.
  int flags = O_CLOEXEC | O_NONBLOCK;
  flags |= access == Access::kRead ? O_RDONLY : O_WRONLY;
  if (create) flags |= O_CREAT;
  const int fd = systemCalls.open(name, flags, 0666);
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  mode_t type = S_IFREG;
  std::int64_t size = 0;
  if (check == Check::kQuick) {
    size = systemCalls.size(fd);
    if (size < 0) type = errno == ENOTTY || errno == EINVAL ? S_IFCHR : 0;
  } else if (systemCalls.stat(fd, &type, &size) != 0) {
    type = 0;
  }
  if (type == 0) {
    error_ = errno;
    systemCalls.close(fd);
    return false;
  }
  if (type != S_IFREG) {
    error_ = type == S_IFDIR ? EISDIR : kNotRegularFile;
    systemCalls.close(fd);
    return false;
  }
  fd_ = fd;
  pos_ = 0;
  sizeAtOpen_ = size;
  return true;
}

bool RecordFile::close() {
  if (fd_ < 0) return true;
  const int rc = systemCalls.close(fd_);
  fd_ = -1;
  // After EINTR the descriptor is gone on Linux; nothing is lost.
  if (rc != 0 && errno != EINTR) {
    error_ = errno;
    return false;
  }
  return true;
}

std::int64_t RecordFile::read(void* buffer, std::size_t n) {
  auto* out = static_cast<char*>(buffer);
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = systemCalls.pread(fd_, out + got, n - got, pos_);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      error_ = errno;
      return -1;
    }
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
    pos_ += r;
  }
  return static_cast<std::int64_t>(got);
}

std::size_t RecordFile::write(const void* buffer, std::size_t n) {
  const auto* in = static_cast<const char*>(buffer);
  std::size_t put = 0;
  while (put < n) {
    const ssize_t w = systemCalls.pwrite(fd_, in + put, n - put, pos_);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      error_ = w < 0 ? errno : EIO;
      break;
    }
    put += static_cast<std::size_t>(w);
    pos_ += w;
  }
  return put;
}

std::int64_t RecordFile::currentSize() {
  mode_t type = 0;
  std::int64_t size = 0;
  if (fd_ < 0 || systemCalls.stat(fd_, &type, &size) != 0) {
    error_ = fd_ < 0 ? EBADF : errno;
    return -1;
  }
  return size;
}

bool RecordFile::truncate(std::int64_t size) {
  if (fd_ >= 0 && systemCalls.ftruncate(fd_, size) == 0) return true;
  error_ = fd_ < 0 ? EBADF : errno;
  return false;
}
