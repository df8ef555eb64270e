#include "FileOverlay.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

FileOverlay::FileOverlay(int base, std::int64_t size, Read read)
    : base_(base), read_(read), baseEnd_(base < 0 ? 0 : size), size_(size) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 &&
      limit.rlim_cur != RLIM_INFINITY) {
    limit_ = static_cast<std::int64_t>(limit.rlim_cur);
  }
}

ssize_t FileOverlay::readBelow(unsigned char* out, std::size_t n,
                               std::int64_t at) const {
  const std::int64_t end = at + static_cast<std::int64_t>(n);
  std::int64_t from = at;
  for (const std::int64_t stop = std::min(end, baseEnd_); from < stop;) {
    const ssize_t got =
        read_(base_, out + (from - at), static_cast<std::size_t>(stop - from),
              static_cast<off_t>(from));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    // The real file ended early: another program cut it. A short read
    // says so, as it would to the run.
    if (got == 0) return from - at;
    from += got;
  }
  if (from < end) std::memset(out + (from - at), 0, std::size_t(end - from));
  return static_cast<ssize_t>(n);
}

ssize_t FileOverlay::pread(void* buffer, std::size_t n, std::int64_t at) const {
  if (at < 0) {
    errno = EINVAL;
    return -1;
  }
  if (at >= size_) return 0;
  n = static_cast<std::size_t>(
      std::min<std::int64_t>(static_cast<std::int64_t>(n), size_ - at));
  auto* out = static_cast<unsigned char*>(buffer);
  const ssize_t got = readBelow(out, n, at);
  if (got <= 0) return got;
  const std::int64_t end = at + got;
  for (auto it = pieces_.lower_bound(at / std::int64_t{kPiece});
       it != pieces_.end() && it->first * std::int64_t{kPiece} < end; ++it) {
    const std::int64_t start = it->first * std::int64_t{kPiece};
    const std::int64_t from = std::max(start, at);
    const std::int64_t to = std::min(start + std::int64_t{kPiece}, end);
    std::memcpy(out + (from - at), it->second.data() + (from - start),
                std::size_t(to - from));
  }
  return got;
}

ssize_t FileOverlay::pwrite(const void* buffer, std::size_t n,
                            std::int64_t at) {
  if (at < 0) {
    errno = EINVAL;
    return -1;
  }
  if (n == 0) return 0;
  // As the kernel does: up to the limit, and nothing at or past it.
  if (at >= limit_) {
    errno = EFBIG;
    return -1;
  }
  const std::int64_t end = std::min(at + static_cast<std::int64_t>(n), limit_);
  const auto* in = static_cast<const unsigned char*>(buffer);
  std::int64_t from = at;
  while (from < end) {
    const std::int64_t number = from / std::int64_t{kPiece};
    const std::int64_t start = number * std::int64_t{kPiece};
    const std::int64_t to = std::min(start + std::int64_t{kPiece}, end);
    try {
      const auto [it, fresh] = pieces_.try_emplace(number);
      // A piece the write leaves partly as it was starts as the file is.
      if (fresh && (from > start || to < start + std::int64_t{kPiece}) &&
          start < size_) {
        const auto below = static_cast<std::size_t>(
            std::min(start + std::int64_t{kPiece}, size_) - start);
        if (readBelow(it->second.data(), below, start) !=
            static_cast<ssize_t>(below)) {
          const int error = errno;
          pieces_.erase(it);
          if (from > at) break;
          errno = error == 0 ? EIO : error;
          return -1;
        }
      }
      std::memcpy(it->second.data() + (from - start), in + (from - at),
                  std::size_t(to - from));
    } catch (const std::bad_alloc&) {
      if (from > at) break;
      errno = ENOMEM;
      return -1;
    }
    from = to;
  }
  size_ = std::max(size_, from);
  return static_cast<ssize_t>(from - at);
}

int FileOverlay::truncate(std::int64_t size) {
  if (size < 0) {
    errno = EINVAL;
    return -1;
  }
  // As the kernel does: the limit bars growing past it, never a cut, nor
  // keeping the size of a file that already lies past it.
  if (size > size_ && size > limit_) {
    errno = EFBIG;
    return -1;
  }
  if (size < size_) {
    // What lies past the new end is gone: a later growth finds zeros.
    const std::int64_t kept =
        (size + std::int64_t{kPiece} - 1) / std::int64_t{kPiece};
    pieces_.erase(pieces_.lower_bound(kept), pieces_.end());
    if (size % std::int64_t{kPiece} != 0) {
      const auto it = pieces_.find(size / std::int64_t{kPiece});
      if (it != pieces_.end()) {
        const std::size_t cut = std::size_t(size % std::int64_t{kPiece});
        std::memset(it->second.data() + cut, 0, kPiece - cut);
      }
    }
    baseEnd_ = std::min(baseEnd_, size);
  }
  size_ = size;
  return 0;
}
