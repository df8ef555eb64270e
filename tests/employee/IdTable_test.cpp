#include "IdTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <unordered_map>
#include <vector>

namespace {

std::vector<std::int32_t> ids;  // the index the table reads: ids[entry]

void idsOf(std::int32_t first, std::int32_t n, std::int32_t* out) {
  std::copy_n(ids.begin() + first, n, out);
}

std::vector<std::int32_t> range(std::int32_t from, std::int32_t to) {
  std::vector<std::int32_t> v(to - from);
  std::iota(v.begin(), v.end(), from);
  return v;
}

// Numbers that a fixed multiplicative hash sends to four adjacent slots of
// an 8192-slot table.
std::vector<std::int32_t> crafted() {
  std::vector<std::int32_t> v;
  for (std::uint32_t u = 0; v.size() < 4000; ++u) {
    if ((std::uint64_t{u} * 0x9E3779B97F4A7C15u) >> (64 - 13) < 4)
      v.push_back(static_cast<std::int32_t>(u));
  }
  return v;
}

// Recorded all at once, and one entry at a time as adds record them, the
// table gives the first entry of every number, -1 for any other, holds
// directly only what its bound allows, and examines a few slots of the hash
// per number, even for numbers crafted to collide.
TEST(IdTableTest, KeepsTheFirstEntryOfEveryNumberWhereverItIsHeld) {
  std::vector<std::int32_t> shuffled = range(0, 3000);
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
  struct Row {
    std::vector<std::int32_t> ids;
    bool direct;  // all at once, every number from 0 up is held directly
  } rows[] = {
      // Dense, in any order, repeated, with negatives and both limits.
      {shuffled, true},
      {{5, 3, 9, 3, -4, 0, 9, INT32_MIN, -4, 2}, true},
      // Beyond the bound from the start, and then past it: numbers that
      // enter the hash stay there, those below the limit stay direct.
      {{INT32_MAX, 0, 7, INT32_MAX, 1 << 20, 7}, false},
      {[] {
         auto v = range(0, 100);
         v.push_back(5000);
         auto more = range(100, 4000);
         v.insert(v.end(), more.begin(), more.end());
         v.push_back(5000);
         return v;
       }(),
       false},
      {crafted(), false},
  };
  for (const Row& row : rows) {
    ids = row.ids;
    const auto n = static_cast<std::int32_t>(ids.size());
    std::unordered_map<std::int32_t, std::int32_t> first;
    for (std::int32_t entry = 0; entry < n; ++entry)
      first.emplace(ids[entry], entry);
    for (bool atOnce : {false, true}) {
      IdTable table(idsOf);
      for (std::int32_t k = atOnce ? n : 1; k <= n; ++k) table.find(-7, k);
      std::int32_t wrong = 0;
      for (const auto& [id, entry] : first) wrong += table.find(id, n) != entry;
      for (std::int32_t absent : {1, 4097, -5, 4001, INT32_MAX - 1}) {
        wrong +=
            table.find(absent, n) != (first.count(absent) ? first[absent] : -1);
      }
      EXPECT_EQ(wrong, 0) << n << " numbers, at once: " << atOnce;
      EXPECT_LE(table.limit(), IdTable::kSpread * n + IdTable::kSlack);
      if (row.direct && atOnce) {
        EXPECT_GT(table.limit(), *std::max_element(ids.begin(), ids.end()));
      }
      EXPECT_LE(table.probes(), std::size_t{3} * 4 * n);
      table.clear();
      EXPECT_EQ(table.find(0, 0), -1);
    }
  }
}

}  // namespace
