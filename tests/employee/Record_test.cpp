#include <gtest/gtest.h>

#include <string>

#include "Employee.h"
#include "RecordText.h"

namespace {

// The record of employee 7, Ann, category 1, amount 500, 1999-05-17.
const std::string kAnn = std::string("\x07\0\0\0\0\0\0\0Ann", 11) +
                         std::string(29, '\0') +
                         std::string(
                             "\x01\0\0\0\xF4\x01\0\0\xCF\x07\0\0"
                             "\x05\0\0\0\x11\0\0\0",
                             20);

// Over Ann, a decode of the first n bytes of a record of all 0xFF bytes
// replaces those bytes only, in the middle of a field too; a whole record is
// taken unchecked (a date of -1/-1/-1).
TEST(RecordTest, AnnAndPartialDecodes) {
  EXPECT_EQ(record_text::fromBytes(kAnn), "7 0 \"Ann\" 1 500 1999/5/17\n");
  const std::string ones(60, '\xFF');
  for (std::size_t n : {0, 4, 6, 20, 50, 54, 60}) {
    Employee e;
    e.decode(reinterpret_cast<const unsigned char*>(kAnn.data()), 60);
    e.decode(reinterpret_cast<const unsigned char*>(ones.data()), n);
    unsigned char r[Employee::kRecordBytes];
    e.encode(r);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(r), sizeof r),
              ones.substr(0, n) + kAnn.substr(n))
        << n;
  }
}

}  // namespace
