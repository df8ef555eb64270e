// Date: a calendar date (year, month, day) carried by employee records and
// transactions.
//
// A default Date is 1900-01-01, a value that Date::set can never produce and
// that therefore stands for "never set". Date::set accepts only real dates of
// the years 1901 to 2099 (February has 29 days in every year divisible by 4)
// and throws one of the OutOfRange errors otherwise. A date read back from a
// file is taken as stored, unchecked.
//
// Binary form, 12 bytes, no header or padding:
//
//   offset  size  field
//        0     4  year,  int32 little-endian
//        4     4  month, int32 little-endian
//        8     4  day,   int32 little-endian
#ifndef EMPUPDATE_DATE_DATE_H_
#define EMPUPDATE_DATE_DATE_H_

#include <cstddef>
#include <cstdint>

class Date {
 public:
  // Error tree; empty classes thrown by value.
  struct DateErrors {};
  struct OutOfRange : DateErrors {};
  struct YearOutOfRange : OutOfRange {};
  struct MonthOutOfRange : OutOfRange {};
  struct DayOutOfRange : OutOfRange {};

  // 1900-01-01. Never throws.
  Date() = default;
  // Builds a checked date; throws what Date::set throws.
  Date(std::int32_t year, std::int32_t month, std::int32_t day);

  // Checks and stores year, then month, then day, each stored as soon as its
  // own check passes. A failure therefore leaves the earlier fields changed:
  // YearOutOfRange changes nothing, MonthOutOfRange leaves the new year,
  // DayOutOfRange the new year and month.
  void set(std::int32_t year, std::int32_t month, std::int32_t day);

  // The days of `month` (1 to 12) in `year`, by the rule set() checks
  // with; 0 for a month out of range.
  static std::int32_t daysInMonth(std::int32_t year, std::int32_t month);

  std::int32_t getYear() const { return year; }
  std::int32_t getMonth() const { return month; }
  std::int32_t getDay() const { return day; }

  // Reads the 12-byte form from the first n bytes of p (n <= 12),
  // unchecked. A field cut in the middle is overwritten as far as the bytes
  // go, and the fields after it keep their values, as a read from a file
  // that ends early leaves them.
  void readFrom(const unsigned char* p, std::size_t n);
  // Writes the 12-byte form to p[0..11].
  void writeTo(unsigned char* p) const;

 private:
  std::int32_t year = 1900;
  std::int32_t month = 1;
  std::int32_t day = 1;
};

#endif  // EMPUPDATE_DATE_DATE_H_
