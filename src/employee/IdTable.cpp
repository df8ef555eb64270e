#include "IdTable.h"

#include <sys/mman.h>

#include <cstddef>
#include <new>

namespace {

// Tables of a huge page or more are aligned to one, so that the kernel can
// back them with huge pages: fewer TLB misses on random look-ups.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

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
}

std::size_t IdTable::home(std::int32_t id) const {
  // Fibonacci hashing: the top bits of the product spread runs of numbers
  // and numbers that differ only in their high bits alike.
  const std::uint64_t h =
      std::uint64_t{static_cast<std::uint32_t>(id)} * 0x9E3779B97F4A7C15u;
  return static_cast<std::size_t>(h >> (64 - bits_));
}

void IdTable::reserve(std::size_t n) {
  std::size_t slots = 16;
  while (slots < 2 * n) slots *= 2;
  if (slots > size_) rehash(slots);
}

void IdTable::rehash(std::size_t slots) {
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
  if (2 * (used_ + 1) > size_) reserve(used_ + 1);
  const std::size_t mask = size_ - 1;
  const std::size_t start = home(id);
  std::size_t i = start;
  for (; slots_[i].position >= 0; i = (i + 1) & mask) {
    if (slots_[i].id == id) break;  // the first record stays
  }
  probes_ += ((i - start) & mask) + 1;
  if (slots_[i].position >= 0) return;
  slots_[i] = Slot{id, position};
  ++used_;
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
  return slots_[i].position;
}
