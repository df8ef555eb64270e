#include "Date.h"

#include <algorithm>

#include "LittleEndian.h"

Date::Date(std::int32_t y, std::int32_t m, std::int32_t d) { set(y, m, d); }

std::int32_t Date::daysInMonth(std::int32_t y, std::int32_t m) {
  constexpr std::int32_t kLength[12] = {31, 28, 31, 30, 31, 30,
                                        31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 0;
  // No century rule: within 1901..2099 every year divisible by 4 is a leap
  // year of the Gregorian calendar.
  return kLength[m - 1] + (m == 2 && y % 4 == 0 ? 1 : 0);
}

void Date::set(std::int32_t y, std::int32_t m, std::int32_t d) {
  if (y < 1901 || y > 2099) throw YearOutOfRange();
  year = y;
  if (m < 1 || m > 12) throw MonthOutOfRange();
  month = m;
  if (d < 1 || d > daysInMonth(y, m)) throw DayOutOfRange();
  day = d;
}

void Date::readFrom(const unsigned char* p, std::size_t n) {
  std::int32_t* fields[3] = {&year, &month, &day};
  for (std::size_t i = 0; 4 * i < n; ++i) {  // n <= 12: three fields
    le32::overlay(*fields[i], p + 4 * i, n - 4 * i);
  }
}

void Date::writeTo(unsigned char* p) const {
  le32::put(p, year);
  le32::put(p + 4, month);
  le32::put(p + 8, day);
}
