#include "IdTable.h"

#include <sys/mman.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <ctime>
#include <new>

#include "SystemCalls.h"

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// What a mapping of `bytes` takes: a large one is rounded up to whole huge
// pages, so that its last one is huge too.
std::size_t mappedBytes(std::size_t bytes) {
  return bytes < kHugePage ? bytes : (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

// Fresh zero pages from the kernel, mappedBytes(bytes) of them, or
// std::bad_alloc. Made resident in the one call: the table's first fill
// lands all over it, and page by page those faults cost more than the fill
// itself. A large table lies on huge pages where the kernel gives them:
// 512 times fewer faults to make it resident, and its random stores and
// look-ups miss the TLB far less.
void* mapZero(std::size_t bytes) {
  const std::size_t size = mappedBytes(bytes);
  if (size < kHugePage) {
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    return p;
  }
  // Aligned to a huge page: a mapping a page longer, trimmed at both ends.
  void* p = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t at = (start + kHugePage - 1) & ~(kHugePage - 1);
  if (at != start) ::munmap(p, at - start);
  ::munmap(reinterpret_cast<void*>(at + size), start + kHugePage - at);
  void* table = reinterpret_cast<void*>(at);
  ::madvise(table, size, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
  ::madvise(table, size, MADV_POPULATE_WRITE);
#endif
  return table;
}

// The kernel's random bytes. A draw that a signal cuts short (EINTR, or
// fewer bytes) goes on from where it stopped, a few calls in all at most:
// the signal is only noted, to stop the run once this transaction is
// applied, and one that came at every call must not hold the run here.
// A pool not yet ready (EAGAIN early in boot: GRND_NONBLOCK falls back
// rather than waits), no getrandom (ENOSYS) or any other error falls back
// at once.
bool fillFromKernel(void* buffer, std::size_t bytes) {
  constexpr int kCalls = 4;
  auto* at = static_cast<unsigned char*>(buffer);
  for (int call = 0; bytes > 0; ++call) {
    if (call == kCalls) return false;
    const ssize_t got = systemCalls.random(at, bytes, GRND_NONBLOCK);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    at += got;
    bytes -= static_cast<std::size_t>(got);
  }
  return true;
}

// Without the kernel's randomness, a seed no file can foresee: where the
// stack landed, the time to the nanosecond and the process id, stretched
// by splitmix64.
void fillFromSeed(std::uint64_t (&words)[4][256]) {
  int local = 0;
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::uint64_t state = reinterpret_cast<std::uintptr_t>(&local) ^
                        (static_cast<std::uint64_t>(now.tv_sec) << 32) ^
                        static_cast<std::uint64_t>(now.tv_nsec) ^
                        (static_cast<std::uint64_t>(::getpid()) << 20);
  for (auto& row : words) {
    for (auto& word : row) {
      std::uint64_t z = state += 0x9E3779B97F4A7C15u;
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
      word = z ^ (z >> 31);
    }
  }
}

}  // namespace

void IdTable::clear() {
  if (byId_ != nullptr) {
    ::munmap(byId_, mappedBytes(sizeof *byId_ * std::size_t(limit_)));
  }
  if (slots_ != nullptr) ::munmap(slots_, mappedBytes(sizeof *slots_ * size_));
  byId_ = nullptr;
  limit_ = 0;
  spilled_ = false;
  slots_ = nullptr;
  size_ = 0;
  hashed_ = 0;
  recorded_ = 0;
  probes_ = 0;
}

std::uint64_t IdTable::hash(std::int32_t id) const {
  const auto u = static_cast<std::uint32_t>(id);
  return words_[0][u & 0xFF] ^ words_[1][(u >> 8) & 0xFF] ^
         words_[2][(u >> 16) & 0xFF] ^ words_[3][u >> 24];
}

void IdTable::widen(std::int32_t limit) {
  const std::size_t bytes = sizeof *byId_ * std::size_t(limit);
  // Grown in place where the address space allows, else moved by the
  // kernel, without a copy; the pages added are zero.
  void* p =
      byId_ == nullptr
          ? mapZero(bytes)
          : ::mremap(byId_, mappedBytes(sizeof *byId_ * std::size_t(limit_)),
                     mappedBytes(bytes), MREMAP_MAYMOVE);
  if (p == MAP_FAILED) throw std::bad_alloc();
  byId_ = static_cast<std::uint32_t*>(p);
  limit_ = limit;
}

void IdTable::reserve(std::size_t n) {
  std::size_t slots = 16;
  while (slots < 2 * n) slots *= 2;
  if (slots <= size_) return;
  // Every hash comes after a first reserve, so the words are drawn here,
  // anew for each table: a file indexed again gets another key.
  if (slots_ == nullptr && !fillFromKernel(words_, sizeof words_)) {
    fillFromSeed(words_);
  }
  // Fresh pages are zero: every slot starts free without a pass over them.
  auto* fresh = static_cast<std::uint32_t*>(mapZero(slots * sizeof *slots_));
  std::uint32_t* old = slots_;
  const std::size_t oldSize = size_;
  slots_ = fresh;
  size_ = slots;
  for (std::size_t j = 0; j < oldSize; ++j) {
    if (old[j] == 0) continue;
    const auto entry = static_cast<std::int32_t>((old[j] & kEntryMask) - 1);
    const std::int32_t id = ids_[entry];
    place(entry, id, hash(id));
  }
  if (old != nullptr) ::munmap(old, mappedBytes(oldSize * sizeof *slots_));
}

std::size_t IdTable::slotOf(std::int32_t id, std::uint64_t h) {
  const std::size_t mask = size_ - 1;
  // The top bits of the hash, as many as the size has (a power of 2).
  const std::size_t start = h >> (64 - std::countr_zero(size_));
  const std::uint32_t print = fingerprint(h);
  std::size_t i = start;
  // Only a slot whose fingerprint matches can hold the number: the index,
  // elsewhere in memory, is read for that one alone.
  for (; slots_[i] != 0; i = (i + 1) & mask) {
    if ((slots_[i] & kPrintMask) == print &&
        ids_[static_cast<std::int32_t>((slots_[i] & kEntryMask) - 1)] == id) {
      break;
    }
  }
  probes_ += ((i - start) & mask) + 1;
  return i;
}

void IdTable::place(std::int32_t entry, std::int32_t id, std::uint64_t h) {
  std::uint32_t& slot = slots_[slotOf(id, h)];
  // The first entry of a number stays.
  if (slot == 0) {
    slot = fingerprint(h) | (static_cast<std::uint32_t>(entry) + 1);
  }
}

void IdTable::fillFresh(std::int32_t entries) {
  const Ids ids = ids_;
  std::uint32_t* const byId = byId_;
  const auto limit = static_cast<std::uint32_t>(limit_);
  constexpr std::int32_t kAhead = 32;
  for (std::int32_t k = entries; k-- > 0;) {
    if (k >= kAhead) {
      const auto ahead = static_cast<std::uint32_t>(ids[k - kAhead]);
      if (ahead < limit) __builtin_prefetch(byId + ahead, 1, 0);
    }
    const auto id = static_cast<std::uint32_t>(ids[k]);
    if (id < limit) byId[id] = static_cast<std::uint32_t>(k) + 1;
  }
}

void IdTable::record(std::int32_t entries) {
  // Where the new numbers go. The direct table widens to take every one
  // that isn't negative, if they stay within its bound and no number above
  // its limit is in the hash; otherwise those above the limit are hashed.
  const Ids ids = ids_;
  std::int32_t high = -1, low = 0;
  for (std::int32_t k = recorded_; k < entries; ++k) {
    high = std::max(high, ids[k]);
    low = std::min(low, ids[k]);
  }
  const std::int64_t bound = kSpread * entries + kSlack;
  if (!spilled_ && high >= limit_ && high < bound) {
    // By half at least, so that adds one at a time widen it seldom.
    widen(static_cast<std::int32_t>(std::min(
        bound,
        std::max<std::int64_t>({high + 1, limit_ + limit_ / 2, kSlack}))));
  }
  std::uint32_t* const byId = byId_;
  const auto limit = static_cast<std::uint32_t>(limit_);
  const bool hashes = low < 0 || high >= limit_;
  if (hashes) {
    std::size_t hashing = 0;
    for (std::int32_t k = recorded_; k < entries; ++k) {
      hashing += static_cast<std::uint32_t>(ids[k]) >= limit;
    }
    reserve(hashed_ + hashing);
  }
  const bool fresh = recorded_ == 0;
  if (fresh) fillFresh(entries);
  if (fresh && !hashes) {
    recorded_ = entries;
    return;
  }
  for (std::int32_t k = recorded_; k < entries; ++k) {
    const std::int32_t id = ids[k];
    if (static_cast<std::uint32_t>(id) < limit) {
      std::uint32_t& slot = byId[id];
      // The first entry of a number stays.
      if (slot == 0) slot = static_cast<std::uint32_t>(k) + 1;
      continue;
    }
    place(k, id, hash(id));
    spilled_ = spilled_ || id >= 0;
    ++hashed_;
  }
  recorded_ = entries;
}

std::int32_t IdTable::find(std::int32_t id, Ids ids, std::int32_t entries) {
  ids_ = ids;
  if (entries > recorded_) record(entries);
  if (id >= 0 && id < limit_) return static_cast<std::int32_t>(byId_[id]) - 1;
  if (size_ == 0) return -1;
  return static_cast<std::int32_t>(slots_[slotOf(id, hash(id))] & kEntryMask) -
         1;
}
