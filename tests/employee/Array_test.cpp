#include "Array.h"

#include <gtest/gtest.h>

namespace {

// Indexed past its end, the array grows to index + size / 2 + 1 in one
// step and keeps what it held.
TEST(ArrayTest, GrowsByHalfPlusOneInOneStep) {
  struct Case {
    int start, index, size;
  } cases[] = {{1, 0, 1},  {1, 1, 2},     {2, 2, 4}, {4, 4, 7},
               {7, 7, 11}, {4, 100, 103}, {0, 0, 1}, {7, 3, 7}};
  for (const auto& c : cases) {
    Array<int> a(c.start);
    for (int i = 0; i < c.start; ++i) a[i] = i;
    a[c.index] = -1;
    EXPECT_EQ(a.capacity(), c.size) << c.start << " then [" << c.index << "]";
    for (int i = 0; i < c.start; ++i) EXPECT_EQ(a[i], i == c.index ? -1 : i);
    EXPECT_THROW(a[-1], Array<int>::IndexOutOfRange);
  }
}

}  // namespace
