// Array<T>: a heap array that grows by itself when indexed past its end.
//
// Used for the employee index. Elements are copied as raw bytes, so T must be
// trivially copyable; slots never written hold indeterminate values. The
// array knows only its allocated size, not how many slots hold entries.
//
// operator[](i) throws IndexOutOfRange for i < 0 and, for i >= size, grows to
// i + size / 2 + 1 elements in one step (from 1: 1, 2, 4, 7, 11, 17, ...).
// If the new storage cannot be had, the allocation failure (std::bad_alloc)
// propagates and the array is unchanged. A reference returned by operator[]
// is valid until the next call that grows the array.
#ifndef EMPUPDATE_EMPLOYEE_ARRAY_H_
#define EMPUPDATE_EMPLOYEE_ARRAY_H_

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

template <typename T>
class Array {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  struct IndexOutOfRange {};

  // Storage for n elements, not initialised; a negative n counts as 0.
  explicit Array(std::int32_t n)
      : data(allocate(n < 0 ? 0 : n)), size(n < 0 ? 0 : n) {}
  ~Array() { release(data, size); }
  Array(const Array&) = delete;
  Array& operator=(const Array&) = delete;

  T& operator[](std::int32_t i) {
    if (i < 0) throw IndexOutOfRange();
    if (i >= size) grow(i);
    return data[i];
  }

  // Number of elements allocated.
  std::int32_t capacity() const { return size; }

  // Makes the storage of elements 0 to n - 1 resident in one call, where
  // the kernel can (Linux 5.14 on), instead of a page fault at the first
  // write to each page; elsewhere it changes nothing. What it holds stays.
  void populate(std::int32_t n) {
#ifdef MADV_POPULATE_WRITE
    constexpr std::uintptr_t kPage = 4096;
    const auto from = reinterpret_cast<std::uintptr_t>(data) & ~(kPage - 1);
    const auto to = reinterpret_cast<std::uintptr_t>(data + std::min(n, size));
    if (to > from) {
      ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
    }
#else
    (void)n;
#endif
  }

 private:
  // Storage of a huge page or more is aligned to one and offered to the
  // kernel for huge pages: fewer page faults to fill it, and fewer TLB
  // misses on the random accesses of look-ups.
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;

  static T* allocate(std::int32_t n) {
    const std::size_t bytes = sizeof(T) * std::size_t(n);
    if (bytes < kHugePage) return static_cast<T*>(::operator new(bytes));
    void* p = ::operator new (bytes, std::align_val_t{kHugePage});
    ::madvise(p, bytes, MADV_HUGEPAGE);
    return static_cast<T*>(p);
  }

  static void release(T* p, std::int32_t n) {
    if (sizeof(T) * std::size_t(n) < kHugePage) {
      ::operator delete(p);
    } else {
      ::operator delete (p, std::align_val_t{kHugePage});
    }
  }

  void grow(std::int32_t i) {
    // Computed in 64 bits; past the largest 32-bit size the array can hold
    // no more, and an index of INT32_MAX itself could never be stored.
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    std::int64_t wanted = std::int64_t{i} + size / 2 + 1;
    if (wanted > kMax) {
      if (i == kMax) throw std::bad_array_new_length();
      wanted = kMax;
    }
    const auto n = static_cast<std::int32_t>(wanted);
    T* fresh = allocate(n);  // may throw; nothing changed yet
    if (size > 0) std::memcpy(fresh, data, sizeof(T) * std::size_t(size));
    release(data, size);
    data = fresh;
    size = n;
  }

  T* data;
  std::int32_t size;
};

#endif  // EMPUPDATE_EMPLOYEE_ARRAY_H_
