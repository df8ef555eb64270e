// IdTable: for each employee number, the first entry of the index that
// holds it, so that a look-up takes constant expected time instead of a
// scan of the index.
//
// An open-addressing hash table (linear probing, at most half full) of 8
// bytes a slot: the number, and the entry. Insertions and look-ups take
// expected constant time whatever the numbers, even numbers chosen to
// collide: the hash is keyed by random words drawn once per process, which
// no file can know in advance. It keeps the first entry recorded for a
// number: a file that holds a number twice is read at its first record.
//
// The table owns its storage: pages fresh from the kernel, already zero
// (a free slot is all zero), in huge pages where the kernel has them, since
// look-ups land on random slots. An allocation failure propagates as
// std::bad_alloc with the table as it was.
#ifndef EMPUPDATE_EMPLOYEE_IDTABLE_H_
#define EMPUPDATE_EMPLOYEE_IDTABLE_H_

#include <cstddef>
#include <cstdint>

class IdTable {
 public:
  IdTable() = default;
  ~IdTable() { release(); }
  IdTable(const IdTable&) = delete;
  IdTable& operator=(const IdTable&) = delete;

  // Empties the table and releases its storage.
  void clear();
  // Fills an empty table with entries 0 to n - 1, whose numbers idOf(k)
  // gives, faster than n insertions: the slots of the entries ahead are
  // fetched while the present one is placed.
  template <typename IdOf>
  void build(std::int32_t n, IdOf idOf);
  // Records `entry` (>= 0) for `id` unless one is recorded already.
  void insertFirst(std::int32_t id, std::int32_t entry);
  // The entry recorded for `id`, or -1.
  std::int32_t find(std::int32_t id) const;
  // Slots examined by insertions and look-ups since the last clear(): a
  // measure of their work that needs no clock.
  std::size_t probes() const { return probes_; }

 private:
  struct Slot {
    std::int32_t id;
    std::int32_t entryPlusOne;  // 0: the slot is free
  };

  std::size_t home(std::int32_t id) const;
  // Makes room for n numbers in all.
  void reserve(std::size_t n);
  void place(std::int32_t id, std::int32_t entry);
  void release();

  void* mapping_ = nullptr;  // the pages that hold the slots
  std::size_t bytes_ = 0;    // of the mapping
  Slot* slots_ = nullptr;    // in it, at a huge page
  std::size_t size_ = 0;     // number of slots, a power of 2
  std::size_t used_ = 0;
  unsigned bits_ = 0;  // size_ == 1 << bits_
  mutable std::size_t probes_ = 0;
};

template <typename IdOf>
void IdTable::build(std::int32_t n, IdOf idOf) {
  reserve(static_cast<std::size_t>(n));
  // Far enough ahead for a miss to memory to complete.
  constexpr std::int32_t kAhead = 16;
  for (std::int32_t k = 0; k < n; ++k) {
    if (k + kAhead < n) __builtin_prefetch(&slots_[home(idOf(k + kAhead))], 1);
    place(idOf(k), k);
  }
}

#endif  // EMPUPDATE_EMPLOYEE_IDTABLE_H_
