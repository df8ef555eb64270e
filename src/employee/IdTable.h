// IdTable: for each employee number, the position of the first record that
// holds it, so that a look-up takes constant expected time instead of a
// scan of the index.
//
// An open-addressing hash table (linear probing, at most half full) of 8
// bytes a slot. Insertions and look-ups take expected constant time
// whatever the numbers, even numbers chosen to collide: the hash is keyed
// by random words drawn once per process, which no file can know in
// advance. It keeps the first position recorded for a number: a file that
// holds a number twice is read at its first record.
//
// An insertion is placed a few insertions later, once its slot, fetched
// ahead, is in the cache, so that the misses of a run of insertions
// overlap; find() sees those not placed yet as well. The table owns its
// storage; a large table asks the kernel for huge pages, since look-ups
// land on random slots. An allocation failure propagates as std::bad_alloc
// with the table as it was.
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
  // Makes room for n numbers in all without growing again.
  void reserve(std::size_t n);
  // Records `position` (>= 0) for `id` unless one is recorded already.
  void insertFirst(std::int32_t id, std::int32_t position);
  // The position recorded for `id`, or -1.
  std::int32_t find(std::int32_t id) const;
  // Slots examined by insertFirst() and find() since the last clear(): a
  // measure of their work that needs no clock.
  std::size_t probes() const { return probes_; }

 private:
  struct Slot {
    std::int32_t id;
    std::int32_t position;  // -1: the slot is free
  };

  // An insertion waiting for its slot to reach the cache.
  struct Pending {
    std::int32_t id;
    std::int32_t position;
    std::size_t home;
  };
  // Insertions waiting at most: enough for a miss to memory to complete.
  static constexpr std::size_t kAhead = 16;

  std::size_t home(std::int32_t id) const;
  std::size_t waiting() const { return queued_ < kAhead ? queued_ : kAhead; }
  void place(const Pending& entry);
  void placeWaiting();
  void rehash(std::size_t slots);
  void release();

  Slot* slots_ = nullptr;
  std::size_t size_ = 0;  // number of slots, a power of 2
  std::size_t used_ = 0;
  unsigned bits_ = 0;  // size_ == 1 << bits_
  mutable std::size_t probes_ = 0;
  // Insertion k since the last placeWaiting() is queue_[k % kAhead]; the
  // last waiting() of them are not placed yet.
  Pending queue_[kAhead] = {};
  std::size_t queued_ = 0;
};

#endif  // EMPUPDATE_EMPLOYEE_IDTABLE_H_
