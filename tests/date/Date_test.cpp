#include "Date.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

enum Outcome { kOk, kYear, kMonth, kDay };

Outcome trySet(Date& d, int y, int m, int day) {
  try {
    d.set(y, m, day);
    return kOk;
  } catch (const Date::YearOutOfRange&) {
    return kYear;
  } catch (const Date::MonthOutOfRange&) {
    return kMonth;
  } catch (const Date::DayOutOfRange&) {
    return kDay;
  }
}

TEST(DateTest, SetAcceptsRealDatesOf1901To2099Only) {
  struct Case {
    int y, m, d;
    Outcome want;
  } cases[] = {
      {2000, 2, 29, kOk},    {2096, 2, 29, kOk},   {2001, 2, 29, kDay},
      {2100, 2, 28, kYear},  {1901, 1, 1, kOk},    {2099, 12, 31, kOk},
      {1900, 12, 31, kYear}, {2100, 1, 1, kYear},  {1900, 13, 0, kYear},
      {2000, 13, 0, kMonth}, {2000, 0, 1, kMonth}, {2000, 1, 0, kDay},
      {2000, 1, -5, kDay},   {2001, 4, 31, kDay},  {2001, 6, 31, kDay},
      {2001, 9, 31, kDay},   {2001, 11, 31, kDay}, {2001, 12, 31, kOk},
      {2001, 8, 31, kOk},    {2001, 2, 28, kOk},   {-2000, 1, 1, kYear},
  };
  for (const auto& c : cases) {
    Date d;
    EXPECT_EQ(trySet(d, c.y, c.m, c.d), c.want)
        << c.y << "-" << c.m << "-" << c.d;
  }
}

TEST(DateTest, FailedSetLeavesFieldsCheckedBeforeTheError) {
  struct Case {
    int y, m, d;
    Outcome want;
    Date after;
  } cases[] = {
      {1800, 13, 40, kYear, Date(1999, 6, 15)},
      {2000, 13, 40, kMonth, Date(2000, 6, 15)},
      {2000, 4, 31, kDay, Date(2000, 4, 15)},
  };
  for (const auto& c : cases) {
    Date d(1999, 6, 15);
    EXPECT_EQ(trySet(d, c.y, c.m, c.d), c.want);
    EXPECT_EQ(d, c.after) << c.y << "-" << c.m << "-" << c.d;
  }
  // A leap February of one call never carries over into the next.
  Date d(2000, 2, 29);
  EXPECT_EQ(trySet(d, 2001, 2, 29), kDay);
}

TEST(DateTest, DefaultIs1900AndErrorsShareTheRoots) {
  EXPECT_EQ(Date().getYear(), 1900);
  EXPECT_THROW(Date(2000, 2, 30), Date::DateErrors);
  EXPECT_THROW(Date(2000, 0, 1), Date::OutOfRange);
  EXPECT_THROW(Date(1, 1, 1), Date::OutOfRange);
}

std::string bytesOf(const Date& d) {
  std::ostringstream out(std::ios::binary);
  d.writeTo(out);
  return out.str();
}

TEST(DateTest, BinaryFormIsLittleEndianAndTakesAnyValue) {
  EXPECT_EQ(bytesOf(Date(2000, 2, 29)),
            std::string("\xD0\x07\0\0\x02\0\0\0\x1D\0\0\0", 12));
  Date weird;
  weird.decode(reinterpret_cast<const unsigned char*>(
                   "\xFF\xFF\xFF\xFF\0\0\0\0\x28\0\0\0"),
               12);
  for (const Date& d : {Date(), weird, Date(2099, 12, 31)}) {
    std::istringstream in(bytesOf(d), std::ios::binary);
    Date back(2000, 1, 1);
    back.readFrom(in);
    EXPECT_TRUE(in.good());
    EXPECT_EQ(back, d);
  }
  EXPECT_EQ(weird.getYear(), -1);
  EXPECT_EQ(weird.getDay(), 40);
}

TEST(DateTest, ShortReadFailsAndKeepsTheFieldsItDidNotReach) {
  // Six bytes: the year whole, half of the month, nothing of the day.
  std::istringstream in(std::string("\xD0\x07\0\0\x0C\0", 6), std::ios::binary);
  Date d;  // 1999, month 0x01020305, day 17
  d.decode(reinterpret_cast<const unsigned char*>(
               "\xCF\x07\0\0\x05\x03\x02\x01\x11\0\0\0"),
           12);
  d.readFrom(in);
  EXPECT_TRUE(in.eof());
  EXPECT_TRUE(in.fail());
  EXPECT_EQ(d.getYear(), 2000);
  EXPECT_EQ(d.getMonth(), 0x0102000C) << "only the two bytes read replaced";
  EXPECT_EQ(d.getDay(), 17);
}

}  // namespace
