#include "RecordFile.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// error() for a file of `type` that is not regular.
int refusal(mode_t type) {
  return type == S_IFDIR ? EISDIR : RecordFile::kNotRegularFile;
}

}  // namespace

bool RecordFile::open(const char* name, Access access, bool create,
                      Check check) {
  close();
  error_ = 0;
  // The descriptor opened is checked all the same below: the name may lead
  // elsewhere by then.
  SystemCalls::Facts named{};
  if (check == Check::kTypeFirst && SystemCalls::look(name, &named) == 0 &&
      named.type != S_IFREG) {
    error_ = refusal(named.type);
    return false;
  }
  // O_NONBLOCK keeps the open of a FIFO from waiting for a peer; it is
  // refused below anyway, and it changes nothing for a regular file.
  int flags = O_CLOEXEC | O_NONBLOCK;
  flags |= access == Access::kRead    ? O_RDONLY
           : access == Access::kWrite ? O_WRONLY
                                      : O_RDWR;
  if (create) flags |= O_CREAT;
  const int fd = systemCalls.open(name, flags, 0666);
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  facts_ = SystemCalls::Facts{S_IFREG, 0, 0, 0};
  if (check != Check::kNone && systemCalls.stat(fd, &facts_) != 0) {
    error_ = errno;
  } else if (facts_.type != S_IFREG) {
    error_ = refusal(facts_.type);
  } else {
    fd_ = fd;
    pos_ = 0;
    return true;
  }
  systemCalls.close(fd);
  return false;
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
  SystemCalls::Facts now{};
  if (fd_ < 0 || systemCalls.stat(fd_, &now) != 0) {
    error_ = fd_ < 0 ? EBADF : errno;
    return -1;
  }
  return now.size;
}

bool RecordFile::truncate(std::int64_t size) {
  if (fd_ >= 0 && systemCalls.ftruncate(fd_, size) == 0) return true;
  error_ = fd_ < 0 ? EBADF : errno;
  return false;
}
