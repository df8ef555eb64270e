#include "RecordFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

bool RecordFile::open(const char* name, Access access, bool create) {
  close();
  error_ = 0;
  // O_NONBLOCK keeps the open of a FIFO from waiting for a peer; it is
  // refused below anyway, and it changes nothing for a regular file.
  int flags = O_CLOEXEC | O_NONBLOCK;
  flags |= access == Access::kRead ? O_RDONLY : O_WRONLY;
  if (create) flags |= O_CREAT;
  const int fd = ::open(name, flags, 0666);
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    error_ = errno;
    ::close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error_ = S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile;
    ::close(fd);
    return false;
  }
  fd_ = fd;
  pos_ = 0;
  sizeAtOpen_ = st.st_size;
  return true;
}

bool RecordFile::close() {
  if (fd_ < 0) return true;
  const int rc = ::close(fd_);
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
    const ssize_t r = ::pread(fd_, out + got, n - got, pos_);
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

bool RecordFile::write(const void* buffer, std::size_t n) {
  const auto* in = static_cast<const char*>(buffer);
  std::size_t put = 0;
  while (put < n) {
    const ssize_t w = ::pwrite(fd_, in + put, n - put, pos_);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      error_ = w < 0 ? errno : EIO;
      return false;
    }
    put += static_cast<std::size_t>(w);
    pos_ += w;
  }
  return true;
}

std::int64_t RecordFile::currentSize() {
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
    error_ = fd_ < 0 ? EBADF : errno;
    return -1;
  }
  return st.st_size;
}

bool RecordFile::truncate(std::int64_t size) {
  if (fd_ >= 0 && ::ftruncate(fd_, size) == 0) return true;
  error_ = fd_ < 0 ? EBADF : errno;
  return false;
}
