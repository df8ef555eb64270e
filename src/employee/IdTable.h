// IdTable: for each employee number, the first entry of the index that
// holds it, so that a look-up takes constant expected time instead of a
// scan of the index.
//
// An open-addressing hash table (linear probing, at most half full) of 4
// bytes a slot: an entry number (26 bits: a file under 2 GiB has fewer
// entries) and 6 bits of the hash of its employee number, so that the
// number itself, read from the index through `idOf`, is compared only when
// those bits match. Insertions and look-ups take expected
// constant time whatever the numbers, even numbers chosen to collide: the
// hash is keyed by random words drawn once per process, which no file can
// know in advance. The first entry recorded for a number stays: a file that
// holds a number twice is read at its first record.
//
// Entries are recorded when a look-up first needs them, all at once the
// first time (the slots of the entries ahead fetched while one is placed),
// so a run that looks nothing up never builds the table. The storage is
// pages fresh from the kernel, already zero (a free slot is all zero), in
// huge pages where the kernel has them, since look-ups land on random
// slots; the table owns it. An allocation failure propagates as
// std::bad_alloc with the table as it was.
#ifndef EMPUPDATE_EMPLOYEE_IDTABLE_H_
#define EMPUPDATE_EMPLOYEE_IDTABLE_H_

#include <cstddef>
#include <cstdint>

class IdTable {
 public:
  // The employee number of an entry of the index.
  using IdOf = std::int32_t (*)(std::int32_t entry);

  explicit IdTable(IdOf idOf) : idOf_(idOf) {}
  ~IdTable() { release(); }
  IdTable(const IdTable&) = delete;
  IdTable& operator=(const IdTable&) = delete;

  // Forgets every entry and releases the storage.
  void clear();
  // The first of entries 0 to entries - 1 that holds `id`, or -1. Entries
  // are only ever added at the end of the index.
  std::int32_t find(std::int32_t id, std::int32_t entries);
  // Slots examined by insertions and look-ups since the last clear(): a
  // measure of their work that needs no clock.
  std::size_t probes() const { return probes_; }

 private:
  // Records entries recorded_ to entries - 1.
  void record(std::int32_t entries);
  static constexpr std::uint32_t kEntryMask = (1u << 26) - 1;
  static constexpr std::uint32_t kPrintMask = ~kEntryMask;
  static std::uint64_t hash(std::int32_t id);
  // The bits of a hash a slot keeps, where the entry leaves room.
  static std::uint32_t fingerprint(std::uint64_t h) {
    return static_cast<std::uint32_t>(h) & kPrintMask;
  }
  // The slot that holds `id` (whose hash is h), or the free one that ends
  // its probe sequence.
  std::size_t slotOf(std::int32_t id, std::uint64_t h);
  // Makes room for n entries in all.
  void reserve(std::size_t n);
  // Records `entry`, whose number is `id` and its hash h, unless the
  // number has an entry already.
  void place(std::int32_t entry, std::int32_t id, std::uint64_t h);
  void release();

  IdOf idOf_;
  void* mapping_ = nullptr;  // the pages that hold the slots
  std::size_t bytes_ = 0;    // of the mapping
  // Fingerprint | (entry + 1) a slot, 0 when free; in the mapping, at a
  // huge page.
  std::uint32_t* slots_ = nullptr;
  std::size_t size_ = 0;  // number of slots, a power of 2
  unsigned bits_ = 0;     // size_ == 1 << bits_
  std::int32_t recorded_ = 0;
  std::size_t probes_ = 0;
};

#endif  // EMPUPDATE_EMPLOYEE_IDTABLE_H_
