#include "IdTable.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <unordered_map>
#include <vector>

namespace {

// Against a map that keeps the first position of each number, across growth,
// with numbers that share their low bits, negatives, both limits and new
// numbers repeated at the very end.
TEST(IdTableTest, KeepsTheFirstEntryOfEveryNumber) {
  std::mt19937 random(7);
  const std::int32_t special[] = {0,       -1,      INT32_MIN, INT32_MAX,
                                  1 << 20, 2 << 20, 3 << 20,   -(1 << 30)};
  for (bool reserved : {false, true}) {
    IdTable table;
    std::unordered_map<std::int32_t, std::int32_t> first;
    if (reserved) table.reserve(5000);
    for (std::int32_t entry = 0; entry < 5000; ++entry) {
      // The last records repeat two numbers new to the table.
      std::int32_t id = entry >= 4990 ? 3 + entry % 2
                        : entry % 3 == 0
                            ? special[entry % 8]
                            : static_cast<std::int32_t>(random() % 2000 * 4096);
      table.insertFirst(id, entry);
      first.emplace(id, entry);
    }
    for (const auto& [id, entry] : first) {
      EXPECT_EQ(table.find(id), entry) << id;
    }
    for (std::int32_t absent : {1, 4097, -4096, INT32_MAX - 1}) {
      EXPECT_EQ(table.find(absent), -1) << absent;
    }
    table.clear();
    EXPECT_EQ(table.find(0), -1);
  }
}

// Numbers chosen so that a fixed multiplicative hash sends them all to four
// adjacent slots of the table reserve() picks cost no more than any others:
// a few slots examined per insertion and per look-up.
TEST(IdTableTest, NumbersCraftedToCollideStayCheap) {
  constexpr std::int32_t kCount = 4000;  // reserve() picks 1 << 13 slots
  std::vector<std::int32_t> ids;
  for (std::uint32_t u = 0; ids.size() < kCount; ++u) {
    if ((std::uint64_t{u} * 0x9E3779B97F4A7C15u) >> (64 - 13) < 4)
      ids.push_back(static_cast<std::int32_t>(u));
  }
  IdTable table;
  table.reserve(kCount);
  for (std::int32_t entry = 0; entry < kCount; ++entry)
    table.insertFirst(ids[entry], entry);
  std::int32_t wrong = 0;
  for (std::int32_t entry = 0; entry < kCount; ++entry)
    wrong += table.find(ids[entry]) != entry;
  EXPECT_EQ(wrong, 0);
  EXPECT_LE(table.probes(), std::size_t{4} * 2 * kCount);
}

}  // namespace
