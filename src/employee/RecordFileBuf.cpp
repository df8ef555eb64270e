#include "RecordFileBuf.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ios>
#include <system_error>

RecordFileBuf::~RecordFileBuf() { close(); }

bool RecordFileBuf::open(const char* name, Access access, bool create) {
  close();
  error_ = 0;
  // O_NONBLOCK keeps the open of a FIFO from waiting for a peer; it is
  // refused below anyway, and it changes nothing for a regular file.
  int flags = O_CLOEXEC | O_NONBLOCK;
  flags |= access == Access::kRead ? O_RDONLY : O_WRONLY;
  if (create) flags |= O_CREAT;
  int fd = ::open(name, flags, 0666);
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

bool RecordFileBuf::close() {
  if (fd_ < 0) return true;
  const int rc = ::close(fd_);
  fd_ = -1;
  if (rc != 0 && errno != EINTR) {
    error_ = errno;
    return false;
  }
  return true;
}

std::int64_t RecordFileBuf::currentSize() {
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
    error_ = fd_ < 0 ? EBADF : errno;
    return -1;
  }
  return st.st_size;
}

bool RecordFileBuf::truncate(std::int64_t size) {
  if (fd_ >= 0 && ::ftruncate(fd_, size) == 0) return true;
  error_ = fd_ < 0 ? EBADF : errno;
  return false;
}

std::streamsize RecordFileBuf::xsgetn(char* s, std::streamsize n) {
  std::streamsize got = 0;
  while (got < n) {
    const ssize_t r = ::pread(fd_, s + got, std::size_t(n - got), pos_);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      error_ = errno;
      // Thrown out of the buffer, this becomes the istream's bad state.
      throw std::ios_base::failure(
          "read error", std::error_code(error_, std::generic_category()));
    }
    if (r == 0) break;
    got += r;
    pos_ += r;
  }
  return got;
}

std::streamsize RecordFileBuf::xsputn(const char* s, std::streamsize n) {
  std::streamsize put = 0;
  while (put < n) {
    const ssize_t w = ::pwrite(fd_, s + put, std::size_t(n - put), pos_);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      // A short count is what the ostream turns into its bad state.
      error_ = w < 0 ? errno : EIO;
      break;
    }
    put += w;
    pos_ += w;
  }
  return put;
}

RecordFileBuf::pos_type RecordFileBuf::seekoff(off_type off,
                                               std::ios_base::seekdir dir,
                                               std::ios_base::openmode) {
  std::int64_t base = 0;
  if (dir == std::ios_base::cur) base = position();
  if (dir == std::ios_base::end) base = currentSize();
  if (fd_ < 0 || base < 0 || base + off < 0) return pos_type(off_type(-1));
  pos_ = base + off;
  return pos_type(pos_);
}

RecordFileBuf::pos_type RecordFileBuf::seekpos(pos_type pos,
                                               std::ios_base::openmode which) {
  return seekoff(off_type(pos), std::ios_base::beg, which);
}
