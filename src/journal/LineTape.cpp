#include "LineTape.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Hash64.h"
#include "Journal.h"
#include "SystemCalls.h"

std::size_t LineTape::bytesAt(std::int64_t at, const char** data) {
  if (at < blockAt_ || at >= blockAt_ + std::int64_t(blockLength_)) {
    ssize_t got;
    do {
      got = systemCalls.pread(fd_, block_.data(), kBlock, at);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      throw Journal::Failure{"emptrans.dat",
                             "cannot read: " + SystemCalls::errorText(errno)};
    }
    blockAt_ = at;
    blockLength_ = static_cast<std::size_t>(got);
  }
  *data = block_.data() + (at - blockAt_);
  return blockLength_ - static_cast<std::size_t>(at - blockAt_);
}

bool LineTape::moveTo(long line) {
  if (line < line_) line_ = 1, at_ = 0;
  while (line_ < line) {
    const char* data;
    const std::size_t n = bytesAt(at_, &data);
    if (n == 0) return false;
    const void* end = std::memchr(data, '\n', n);
    if (end == nullptr) {
      at_ += static_cast<std::int64_t>(n);
      continue;
    }
    at_ += static_cast<const char*>(end) - data + 1;
    ++line_;
  }
  return true;
}

std::uint64_t LineTape::lines(long first, long last, std::string& kept,
                              std::size_t keep) {
  // Several transactions on one line hash it once.
  if (first == first_ && last == last_) {
    kept = kept_.substr(0, keep);
    return hash_;
  }
  Hash64 hash;
  kept.clear();
  if (moveTo(first)) {
    // Back at the start of the last line after: the next transaction may
    // start on it.
    std::int64_t at = at_, lastStart = at_;
    long line = first;
    for (;;) {
      const char* data;
      const std::size_t n = bytesAt(at, &data);
      if (n == 0) break;
      const void* feed = std::memchr(data, '\n', n);
      const std::size_t take =
          feed == nullptr
              ? n
              : static_cast<std::size_t>(static_cast<const char*>(feed) - data);
      hash.add(data, take);
      if (kept.size() < keep) {
        kept.append(data, std::min(take, keep - kept.size()));
      }
      at += static_cast<std::int64_t>(take);
      if (feed == nullptr) continue;
      if (line == last) break;
      hash.add("\n", 1);
      if (kept.size() < keep) kept += '\n';
      ++at;
      lastStart = at;
      ++line;
    }
    line_ = line;
    at_ = lastStart;
  }
  first_ = first;
  last_ = last;
  hash_ = hash.value();
  kept_ = kept;
  return hash_;
}

std::uint64_t LineTape::whole(std::int64_t& bytes) {
  Hash64 hash;
  bytes = 0;
  for (;;) {
    const char* data;
    const std::size_t n = bytesAt(bytes, &data);
    if (n == 0) break;
    hash.add(data, n);
    bytes += static_cast<std::int64_t>(n);
  }
  return hash.value();
}
