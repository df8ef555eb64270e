// IdTable: for each employee number, the first entry of the index that
// holds it, so that a look-up takes constant time instead of a scan of the
// index. The first entry recorded for a number stays: a file that holds a
// number twice is read at its first record.
//
// Two parts, and each number belongs to exactly one of them by its value:
//
// - A direct table, indexed by the number, for the numbers 0 to limit - 1:
//   4 bytes a number (entry + 1, 0 for none). Employee numbers are given
//   out one after another, so in most files the highest is about the
//   count, whatever the order of the records. The limit never passes
//   kSpread times the entries plus kSlack: no file can make the table
//   larger than a few bytes per record. It grows, as adds give out the next
//   numbers, for as long as no number at or above it has gone to the hash.
// - An open-addressing hash table (linear probing, at most half full) of 4
//   bytes a slot for every other number: an entry number (26 bits: a file
//   under 2 GiB has fewer entries) and 6 bits of the hash of its employee
//   number, so that the number itself, read from the index through `idsOf`,
//   is compared only when those bits match. Insertions and look-ups take
//   expected constant time whatever the numbers, even numbers chosen to
//   collide: the hash is keyed by random words drawn for each table when
//   it first hashes a number, which no file can know in advance: the
//   kernel's (getrandom, through SystemCalls), or, when it has none to
//   give, words stretched from a seed of the time, the process and where
//   its stack lies.
//
// Entries are recorded when a look-up first needs them, all at once the
// first time, in two tight passes over the index (its highest number, then
// each entry in its place), so a run that looks nothing up builds nothing. The
// storage of both parts is pages fresh from the kernel, already zero (a free
// slot is all zero); the table owns it. An allocation failure propagates as
// std::bad_alloc with the table as it was.
#ifndef EMPUPDATE_EMPLOYEE_IDTABLE_H_
#define EMPUPDATE_EMPLOYEE_IDTABLE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

class IdTable {
 public:
  // Where the index keeps its employee numbers: entry k's 4 bytes lie
  // k * stride bytes past `first`. Read in place, with no call per entry.
  struct Ids {
    const void* first;
    std::size_t stride;
    std::int32_t operator[](std::int32_t k) const {
      std::int32_t id;
      std::memcpy(&id, static_cast<const char*>(first) + k * stride, sizeof id);
      return id;
    }
  };

  // The direct table holds numbers up to kSpread times the entries, plus
  // kSlack.
  static constexpr std::int64_t kSpread = 4, kSlack = 1024;

  IdTable() = default;
  ~IdTable() { clear(); }
  IdTable(const IdTable&) = delete;
  IdTable& operator=(const IdTable&) = delete;

  // Forgets every entry and releases the storage.
  void clear();
  // The first of entries 0 to entries - 1 of `ids` that holds `id`, or -1.
  // Entries are only ever added at the end of the index, which may have
  // moved since the last call.
  std::int32_t find(std::int32_t id, Ids ids, std::int32_t entries);
  // Slots of the hash examined by insertions and look-ups since the last
  // clear(): a measure of their work that needs no clock.
  std::size_t probes() const { return probes_; }
  // The numbers 0 to limit() - 1 are held in the direct table.
  std::int32_t limit() const { return limit_; }

 private:
  // Records entries recorded_ to entries - 1.
  void record(std::int32_t entries);
  // The first fill of a fresh table, entries 0 to entries - 1, of the
  // direct numbers: each stored without a look at what its slot holds,
  // last entry first, so that the first entry of a number is the one
  // left; the line each store lands in is asked for some entries ahead,
  // so that the misses to memory of many overlap. In a shuffled file each
  // lands anywhere in the table.
  void fillFresh(std::int32_t entries);
  static constexpr std::uint32_t kEntryMask = (1u << 26) - 1;
  static constexpr std::uint32_t kPrintMask = ~kEntryMask;
  // The xor of one random word per byte of the number (simple tabulation):
  // with linear probing, expected constant time per operation for any set
  // of numbers, as truly random hashing would give.
  std::uint64_t hash(std::int32_t id) const;
  // The bits of a hash a slot keeps, where the entry leaves room.
  static std::uint32_t fingerprint(std::uint64_t h) {
    return static_cast<std::uint32_t>(h) & kPrintMask;
  }
  // Widens the direct table to the numbers below `limit`.
  void widen(std::int32_t limit);
  // The slot that holds `id` (whose hash is h), or the free one that ends
  // its probe sequence.
  std::size_t slotOf(std::int32_t id, std::uint64_t h);
  // Makes room in the hash for n entries in all.
  void reserve(std::size_t n);
  // Records `entry`, whose number is `id` and its hash h, unless the
  // number has an entry already.
  void place(std::int32_t entry, std::int32_t id, std::uint64_t h);

  // The index, as the look-up in progress gave it.
  Ids ids_ = {nullptr, 0};
  // The direct table: entry + 1 for each number below limit_, 0 for none.
  std::uint32_t* byId_ = nullptr;
  std::int32_t limit_ = 0;
  // A number at or above limit_ is in the hash: the limit stays.
  bool spilled_ = false;
  // The hash: fingerprint | (entry + 1) a slot, 0 when free.
  std::uint32_t* slots_ = nullptr;
  std::size_t size_ = 0;    // number of slots, a power of 2
  std::size_t hashed_ = 0;  // entries in the hash
  std::int32_t recorded_ = 0;
  std::size_t probes_ = 0;
  std::uint64_t words_[4][256] = {};
};

#endif  // EMPUPDATE_EMPLOYEE_IDTABLE_H_
