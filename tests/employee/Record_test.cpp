#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Employee.h"

namespace {

std::string bytesOf(const Employee& e) {
  unsigned char r[Employee::kRecordBytes];
  e.encode(r);
  return {reinterpret_cast<char*>(r), sizeof r};
}

std::string nameField(const Employee& e) {
  return {e.getNameField(), Employee::kNameBytes};
}

// The record of employee 7, Ann, category 1, amount 500, 1999-05-17.
const std::string kAnn = std::string("\x07\0\0\0\0\0\0\0Ann", 11) +
                         std::string(29, '\0') +
                         std::string(
                             "\x01\0\0\0\xF4\x01\0\0\xCF\x07\0\0"
                             "\x05\0\0\0\x11\0\0\0",
                             20);

TEST(RecordTest, DefaultEmployee) {
  Employee e;
  EXPECT_EQ(nameField(e), std::string(32, '\0'));
  EXPECT_EQ(e.getOffset(), -1);
  EXPECT_EQ(e.getId(), -1);
  EXPECT_EQ(e.getAmount(), 0);
  EXPECT_EQ(e.getCategory(), 0);
  EXPECT_EQ(e.getDeleted(), 0);
  EXPECT_EQ(e.getDate(), Date(1901, 1, 1));
}

TEST(RecordTest, AnnEncodesToTheDocumentedBytesAndBack) {
  ASSERT_EQ(kAnn.size(), 60u);
  Employee back;
  back.decode(reinterpret_cast<const unsigned char*>(kAnn.data()), 60);
  EXPECT_EQ(back.getId(), 7);
  EXPECT_EQ(back.getCategory(), 1);
  EXPECT_EQ(back.getAmount(), 500);
  EXPECT_EQ(back.getDate(), Date(1999, 5, 17));
  EXPECT_STREQ(back.getNameField(), "Ann");
  EXPECT_EQ(bytesOf(back), kAnn);
}

TEST(RecordTest, PartialDecodeKeepsTheFieldsBeyondTheData) {
  Employee e;
  e.decode(reinterpret_cast<const unsigned char*>(kAnn.data()), 60);
  const std::string other("\x09\0\0\0\x01\0", 6);  // id 9, half of deleted
  e.decode(reinterpret_cast<const unsigned char*>(other.data()), 4);
  EXPECT_EQ(e.getId(), 9);
  EXPECT_EQ(bytesOf(e).substr(4), kAnn.substr(4));
  e.decode(reinterpret_cast<const unsigned char*>(other.data()), 6);
  EXPECT_EQ(e.getDeleted(), 1);
}

TEST(RecordTest, SetNameKeepsTheTailAndNeverOverrunsTheField) {
  struct Case {
    std::string before, set, field;
  } cases[] = {
      {"Jonathan", "Al", std::string("Al\0athan", 8) + std::string(24, '\0')},
      {"", std::string(31, 'x'), std::string(31, 'x') + '\0'},
      {"", std::string(40, 'y'), std::string(31, 'y') + '\0'},
      {"Bob", "", std::string("\0ob", 3) + std::string(29, '\0')},
  };
  for (const auto& c : cases) {
    Employee e;
    e.setName(c.before.c_str());
    e.setName(c.set.c_str());
    EXPECT_EQ(nameField(e), c.field) << c.before << " <- " << c.set;
  }
}

TEST(RecordTest, StoredDateIsTakenUnchecked) {
  std::string r = kAnn;
  r[52] = 13;  // month
  r[56] = 40;  // day
  Employee e;
  e.decode(reinterpret_cast<const unsigned char*>(r.data()), 60);
  EXPECT_EQ(e.getDate().getMonth(), 13);
  EXPECT_EQ(e.getDate().getDay(), 40);
  EXPECT_EQ(bytesOf(e), r);
}

}  // namespace
