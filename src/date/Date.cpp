#include "Date.h"

#include <algorithm>

#include "LittleEndian.h"

Date::Date(std::int32_t y, std::int32_t m, std::int32_t d) { set(y, m, d); }

void Date::set(std::int32_t y, std::int32_t m, std::int32_t d) {
  // The table belongs to this call, so a leap February never carries over.
  std::int32_t length[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1901 || y > 2099) throw YearOutOfRange();
  year = y;
  // No century rule: within 1901..2099 every year divisible by 4 is a leap
  // year of the Gregorian calendar.
  if (y % 4 == 0) length[1] = 29;
  if (m < 1 || m > 12) throw MonthOutOfRange();
  month = m;
  if (d < 1 || d > length[m - 1]) throw DayOutOfRange();
  day = d;
}

void Date::readFrom(const unsigned char* p, std::size_t n) {
  std::int32_t* fields[3] = {&year, &month, &day};
  for (std::size_t i = 0; 4 * i < n; ++i) {  // n <= 12: three fields
    if (n >= 4 * i + 4) {
      *fields[i] = le32::get(p + 4 * i);
    } else {
      le32::overlay(*fields[i], p + 4 * i, n - 4 * i);
    }
  }
}

void Date::writeTo(unsigned char* p) const {
  le32::put(p, year);
  le32::put(p + 4, month);
  le32::put(p + 8, day);
}
