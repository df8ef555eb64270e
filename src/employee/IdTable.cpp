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
  if (mapping_ != nullptr) ::munmap(mapping_, bytes_);
  mapping_ = nullptr;
  slots_ = nullptr;
  bytes_ = 0;
}

void IdTable::clear() {
  release();
  size_ = 0;
  used_ = 0;
  bits_ = 0;
  probes_ = 0;
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
  if (slots <= size_) return;
  // Every hash comes after a first reserve, so the words are drawn here.
  [[maybe_unused]] static const bool drawn = (drawWords(), true);
  // Fresh pages are zero: every slot starts free without a pass over them.
  // A huge page more than needed, to align the slots on one.
  const std::size_t bytes = slots * sizeof(Slot) + kHugePage;
  void* mapping = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) throw std::bad_alloc();
  const auto at = (reinterpret_cast<std::uintptr_t>(mapping) + kHugePage - 1) &
                  ~(kHugePage - 1);
  auto* fresh = reinterpret_cast<Slot*>(at);
  ::madvise(fresh, slots * sizeof(Slot), MADV_HUGEPAGE);
  Slot* old = slots_;
  void* oldMapping = mapping_;
  const std::size_t oldSize = size_, oldBytes = bytes_;
  mapping_ = mapping;
  slots_ = fresh;
  bytes_ = bytes;
  size_ = slots;
  used_ = 0;
  bits_ = 0;
  while ((std::size_t{1} << bits_) < slots) ++bits_;
  for (std::size_t j = 0; j < oldSize; ++j) {
    if (old[j].entryPlusOne != 0) place(old[j].id, old[j].entryPlusOne - 1);
  }
  if (oldMapping != nullptr) ::munmap(oldMapping, oldBytes);
}

void IdTable::place(std::int32_t id, std::int32_t entry) {
  const std::size_t mask = size_ - 1;
  const std::size_t start = home(id);
  std::size_t i = start;
  for (; slots_[i].entryPlusOne != 0; i = (i + 1) & mask) {
    if (slots_[i].id == id) break;  // the first record stays
  }
  probes_ += ((i - start) & mask) + 1;
  if (slots_[i].entryPlusOne != 0) return;
  slots_[i] = Slot{id, entry + 1};
  ++used_;
}

void IdTable::insertFirst(std::int32_t id, std::int32_t entry) {
  if (2 * (used_ + 1) > size_) reserve(used_ + 1);
  place(id, entry);
}

std::int32_t IdTable::find(std::int32_t id) const {
  if (size_ == 0) return -1;
  const std::size_t mask = size_ - 1;
  const std::size_t start = home(id);
  std::size_t i = start;
  for (; slots_[i].entryPlusOne != 0; i = (i + 1) & mask) {
    if (slots_[i].id == id) break;
  }
  probes_ += ((i - start) & mask) + 1;
  return slots_[i].entryPlusOne - 1;
}
