#include "IdTable.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <unordered_map>
#include <vector>

namespace {

// Fills a table with ids[k] for entry k, one insertion at a time across
// growth, or built at once.
void fill(IdTable& table, const std::vector<std::int32_t>& ids, bool built) {
  const auto n = static_cast<std::int32_t>(ids.size());
  if (built) {
    table.build(n, [&](std::int32_t k) { return ids[k]; });
  } else {
    for (std::int32_t k = 0; k < n; ++k) table.insertFirst(ids[k], k);
  }
}

// Against a map that keeps the first entry of each number, with numbers
// that share their low bits, negatives, both limits and numbers repeated.
TEST(IdTableTest, KeepsTheFirstEntryOfEveryNumber) {
  std::mt19937 random(7);
  const std::int32_t special[] = {0,       -1,      INT32_MIN, INT32_MAX,
                                  1 << 20, 2 << 20, 3 << 20,   -(1 << 30)};
  std::vector<std::int32_t> ids;
  std::unordered_map<std::int32_t, std::int32_t> first;
  for (std::int32_t entry = 0; entry < 5000; ++entry) {
    ids.push_back(entry >= 4990 ? 3 + entry % 2
                  : entry % 3 == 0
                      ? special[entry % 8]
                      : static_cast<std::int32_t>(random() % 2000 * 4096));
    first.emplace(ids.back(), entry);
  }
  for (bool built : {false, true}) {
    IdTable table;
    fill(table, ids, built);
    table.insertFirst(INT32_MAX, 9999);  // held already: the first stays
    for (const auto& [id, entry] : first) EXPECT_EQ(table.find(id), entry);
    for (std::int32_t absent : {1, 4097, -4096, INT32_MAX - 1}) {
      EXPECT_EQ(table.find(absent), -1) << absent;
    }
    table.clear();
    EXPECT_EQ(table.find(0), -1);
  }
}

// Numbers chosen so that a fixed multiplicative hash sends them all to four
// adjacent slots of an 8192-slot table cost no more than any others: a few
// slots examined per insertion and per look-up.
TEST(IdTableTest, NumbersCraftedToCollideStayCheap) {
  constexpr std::int32_t kCount = 4000;  // a table of 1 << 13 slots
  std::vector<std::int32_t> ids;
  for (std::uint32_t u = 0; ids.size() < kCount; ++u) {
    if ((std::uint64_t{u} * 0x9E3779B97F4A7C15u) >> (64 - 13) < 4)
      ids.push_back(static_cast<std::int32_t>(u));
  }
  for (bool built : {false, true}) {
    IdTable table;
    fill(table, ids, built);
    std::int32_t wrong = 0;
    for (std::int32_t entry = 0; entry < kCount; ++entry)
      wrong += table.find(ids[entry]) != entry;
    EXPECT_EQ(wrong, 0);
    EXPECT_LE(table.probes(), std::size_t{4} * 3 * kCount);
  }
}

}  // namespace
