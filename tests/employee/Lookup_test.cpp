// Employee::find against the first record that holds each number, on files
// whose numbers ascend (searched in the index) and on files whose numbers
// don't (through the table), with gaps, negatives, repeats and both limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Employee.h"
#include "LittleEndian.h"
#include "ScratchDir.h"

namespace {

TEST(LookupTest, FindsTheFirstRecordOfEveryNumber) {
  std::vector<std::int32_t> ascending = {INT32_MIN, -5, -1, 0, 3, 10, 11};
  for (std::int32_t id = 100; id < 5000; id += 1 + id % 7) {
    ascending.push_back(id);
  }
  ascending.push_back(1000000);
  ascending.push_back(INT32_MAX - 1);
  std::vector<std::int32_t> shuffled = ascending;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(3));
  shuffled.push_back(shuffled[5]);  // a repeat: the first record stays
  for (const auto& ids : {ascending, shuffled}) {
    ScratchDir dir;
    Employee::resetIndex();
    std::string bytes(ids.size() * Employee::kRecordBytes, '\0');
    std::map<std::int32_t, std::int32_t> first;
    for (std::size_t k = 0; k < ids.size(); ++k) {
      le32::put(reinterpret_cast<unsigned char*>(&bytes[k * 60]), ids[k]);
      first.emplace(ids[k], static_cast<std::int32_t>(k * 60));
    }
    ScratchDir::put("employee.dat", bytes);
    Employee::buildIndex();
    for (const auto& [id, position] : first) {
      EXPECT_EQ(Employee::find(id), position) << id;
    }
    for (std::int32_t absent :
         {INT32_MIN + 1, -4, 1, 12, 99, 4999, 999999, INT32_MAX}) {
      EXPECT_EQ(Employee::find(absent),
                first.count(absent) ? first[absent] : -1)
          << absent;
    }
    Employee added;
    added.add();  // INT32_MAX, after INT32_MAX - 1: the order still holds
    EXPECT_EQ(Employee::find(INT32_MAX), added.getOffset());
  }
}

}  // namespace
