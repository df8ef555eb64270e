#include "Array.h"

#include <gtest/gtest.h>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kAddressSanitizer = false;
#endif

struct Pair {
  int a, b;
};

TEST(ArrayTest, GrowsByHalfPlusOneInOneStep) {
  struct Case {
    int start, index, size;
  } cases[] = {{1, 0, 1},     {1, 1, 2}, {2, 2, 4}, {4, 4, 7},
               {4, 100, 103}, {0, 0, 1}, {7, 3, 7}};
  for (const auto& c : cases) {
    Array<Pair> a(c.start);
    a[c.index].a = 1;
    EXPECT_EQ(a.capacity(), c.size) << c.start << " then [" << c.index << "]";
  }
  Array<Pair> a(1);
  int sizes[] = {1, 2, 4, 7, 11, 17, 26, 40, 61, 92, 139};
  for (int i = 0, k = 0; i < 139; ++i) {
    a[i].a = i;
    if (a.capacity() != sizes[k]) {
      EXPECT_EQ(a.capacity(), sizes[++k]);
    }
  }
  for (int i = 0; i < 139; ++i) EXPECT_EQ(a[i].a, i) << "kept across growth";
}

TEST(ArrayTest, NegativeIndexThrowsAndChangesNothing) {
  Array<Pair> a(4);
  a[3] = {7, 8};
  EXPECT_THROW(a[-1], Array<Pair>::IndexOutOfRange);
  EXPECT_EQ(a.capacity(), 4);
  EXPECT_EQ(a[3].b, 8);
}

TEST(ArrayTest, FailedGrowthLeavesTheArrayAsItWas) {
  if (kAddressSanitizer) {
    GTEST_SKIP() << "the address sanitizer aborts on a failed allocation";
  }
  struct Big {
    char bytes[1 << 20];
  };
  Array<Big> a(2);
  a[1].bytes[0] = 5;
  EXPECT_THROW(a[1 << 30], std::bad_alloc) << "a petabyte";
  EXPECT_THROW(a[2147483646], std::bad_alloc) << "the largest size";
  EXPECT_THROW(a[2147483647], std::bad_alloc) << "past the largest size";
  EXPECT_EQ(a.capacity(), 2);
  EXPECT_EQ(a[1].bytes[0], 5);
}

}  // namespace
