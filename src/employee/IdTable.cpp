#include "IdTable.h"

#include <sys/mman.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <new>

namespace {

// Tables of a huge page or more are aligned to one, so that the kernel can
// back them with huge pages: fewer TLB misses on random look-ups.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

// The hash of a number is the xor of one random word per byte of it (simple
// tabulation). With linear probing that gives expected constant time per
// operation for any set of numbers, as truly random hashing would. The
// words are drawn once per process, so a file cannot be made in advance to
// collide.
std::uint64_t words[4][256];

bool fillFromKernel(void* buffer, std::size_t bytes) {
  auto* at = static_cast<unsigned char*>(buffer);
  while (bytes > 0) {
    // GRND_NONBLOCK: a run early in boot falls back rather than waits.
    const ssize_t got = ::getrandom(at, bytes, GRND_NONBLOCK);
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
void fillFromSeed() {
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

void drawWords() {
  if (!fillFromKernel(words, sizeof words)) fillFromSeed();
}

}  // namespace

void IdTable::release() {
  if (slots_ != nullptr)
    ::operator delete (slots_, std::align_val_t{kHugePage});
  slots_ = nullptr;
}

void IdTable::clear() {
  release();
  size_ = 0;
  used_ = 0;
  bits_ = 0;
  probes_ = 0;
  queued_ = 0;
}

std::size_t IdTable::home(std::int32_t id) const {
  const auto u = static_cast<std::uint32_t>(id);
  const std::uint64_t h = words[0][u & 0xFF] ^ words[1][(u >> 8) & 0xFF] ^
                          words[2][(u >> 16) & 0xFF] ^ words[3][u >> 24];
  return static_cast<std::size_t>(h >> (64 - bits_));
}

void IdTable::reserve(std::size_t n) {
  std::size_t slots = 16;
  while (slots < 2 * n) slots *= 2;
  if (slots > size_) rehash(slots);
}

void IdTable::rehash(std::size_t slots) {
  // The homes of waiting insertions are for the present size.
  placeWaiting();
  // Every hash comes after a first rehash, so the words are drawn here.
  [[maybe_unused]] static const bool drawn = (drawWords(), true);
  const std::size_t bytes = slots * sizeof(Slot);
  auto* fresh = static_cast<Slot*>(
      ::operator new (bytes, std::align_val_t{kHugePage}));  // may throw
  if (bytes >= kHugePage) ::madvise(fresh, bytes, MADV_HUGEPAGE);
  for (std::size_t i = 0; i < slots; ++i) fresh[i] = Slot{0, -1};
  Slot* old = slots_;
  const std::size_t oldSize = size_;
  slots_ = fresh;
  size_ = slots;
  bits_ = 0;
  while ((std::size_t{1} << bits_) < slots) ++bits_;
  for (std::size_t j = 0; j < oldSize; ++j) {
    if (old[j].position < 0) continue;
    std::size_t i = home(old[j].id);
    while (slots_[i].position >= 0) i = (i + 1) & (size_ - 1);
    slots_[i] = old[j];
  }
  if (old != nullptr) ::operator delete (old, std::align_val_t{kHugePage});
}

void IdTable::insertFirst(std::int32_t id, std::int32_t position) {
  const std::size_t all = used_ + waiting() + 1;
  if (2 * all > size_) reserve(all);
  const std::size_t start = home(id);
  __builtin_prefetch(&slots_[start], 1);
  Pending& entry = queue_[queued_ % kAhead];
  if (queued_ >= kAhead) place(entry);  // the insertion kAhead calls ago
  entry = Pending{id, position, start};
  ++queued_;
}

void IdTable::place(const Pending& entry) {
  const std::size_t mask = size_ - 1;
  std::size_t i = entry.home;
  for (; slots_[i].position >= 0; i = (i + 1) & mask) {
    if (slots_[i].id == entry.id) break;  // the first record stays
  }
  probes_ += ((i - entry.home) & mask) + 1;
  if (slots_[i].position >= 0) return;
  slots_[i] = Slot{entry.id, entry.position};
  ++used_;
}

void IdTable::placeWaiting() {
  for (std::size_t k = queued_ - waiting(); k < queued_; ++k)
    place(queue_[k % kAhead]);
  queued_ = 0;
}

std::int32_t IdTable::find(std::int32_t id) const {
  if (size_ == 0) return -1;
  const std::size_t mask = size_ - 1;
  const std::size_t start = home(id);
  std::size_t i = start;
  for (; slots_[i].position >= 0; i = (i + 1) & mask) {
    if (slots_[i].id == id) break;
  }
  probes_ += ((i - start) & mask) + 1;
  if (slots_[i].position >= 0) return slots_[i].position;
  // Placed entries came first, and among the waiting the oldest wins.
  for (std::size_t k = queued_ - waiting(); k < queued_; ++k) {
    if (queue_[k % kAhead].id == id) return queue_[k % kAhead].position;
  }
  return -1;
}
