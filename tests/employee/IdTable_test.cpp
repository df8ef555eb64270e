#include "IdTable.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <unordered_map>
#include <vector>

namespace {

std::vector<std::int32_t> ids;  // the index the table reads: ids[entry]

std::int32_t idOf(std::int32_t entry) { return ids[entry]; }

// Records the entries of `ids` in `table`, all at once or one at a time as
// look-ups reach them (growing the table on the way).
void fill(IdTable& table, bool atOnce) {
  const auto n = static_cast<std::int32_t>(ids.size());
  for (std::int32_t k = atOnce ? n : 1; k <= n; ++k) table.find(0, k);
}

// Against a map that keeps the first entry of each number, with numbers
// that share their low bits, negatives, both limits and numbers repeated.
TEST(IdTableTest, KeepsTheFirstEntryOfEveryNumber) {
  std::mt19937 random(7);
  const std::int32_t special[] = {0,       -1,      INT32_MIN, INT32_MAX,
                                  1 << 20, 2 << 20, 3 << 20,   -(1 << 30)};
  ids.clear();
  std::unordered_map<std::int32_t, std::int32_t> first;
  for (std::int32_t entry = 0; entry < 5000; ++entry) {
    ids.push_back(entry >= 4990 ? 3 + entry % 2
                  : entry % 3 == 0
                      ? special[entry % 8]
                      : static_cast<std::int32_t>(random() % 2000 * 4096));
    first.emplace(ids.back(), entry);
  }
  const auto n = static_cast<std::int32_t>(ids.size());
  for (bool atOnce : {false, true}) {
    IdTable table(idOf);
    fill(table, atOnce);
    for (const auto& [id, entry] : first) EXPECT_EQ(table.find(id, n), entry);
    for (std::int32_t absent : {1, 4097, -4096, INT32_MAX - 1}) {
      EXPECT_EQ(table.find(absent, n), -1) << absent;
    }
    table.clear();
    EXPECT_EQ(table.find(0, 0), -1);
  }
}

// Numbers chosen so that a fixed multiplicative hash sends them all to four
// adjacent slots of an 8192-slot table cost no more than any others: a few
// slots examined per insertion and per look-up.
TEST(IdTableTest, NumbersCraftedToCollideStayCheap) {
  constexpr std::int32_t kCount = 4000;  // a table of 1 << 13 slots
  ids.clear();
  for (std::uint32_t u = 0; ids.size() < kCount; ++u) {
    if ((std::uint64_t{u} * 0x9E3779B97F4A7C15u) >> (64 - 13) < 4)
      ids.push_back(static_cast<std::int32_t>(u));
  }
  for (bool atOnce : {false, true}) {
    IdTable table(idOf);
    fill(table, atOnce);
    std::int32_t wrong = 0;
    for (std::int32_t entry = 0; entry < kCount; ++entry)
      wrong += table.find(ids[entry], kCount) != entry;
    EXPECT_EQ(wrong, 0);
    EXPECT_LE(table.probes(), std::size_t{4} * 3 * kCount);
  }
}

}  // namespace
