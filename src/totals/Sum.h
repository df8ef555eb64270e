// Sum: an exact total of whole numbers, such as the amounts of a batch or of
// employee.dat, and its decimal text. It holds 128 bits: the 32-bit values
// of any file the run can hold (under 2 GiB) never come near its limits, so
// adding never overflows and no total is ever rounded. Nothing here throws.
#ifndef EMPUPDATE_TOTALS_SUM_H_
#define EMPUPDATE_TOTALS_SUM_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class Sum {
 public:
  // __extension__ keeps -Wpedantic quiet about the 128-bit types.
  __extension__ using Value = __int128;
  __extension__ using Magnitude = unsigned __int128;

  Sum() = default;

  void add(std::int64_t n) { value_ += n; }
  // Its decimal text, a minus first when negative: "-1250".
  std::string text() const;
  // The sum that `text` writes: an optional minus, then decimal digits
  // only; none when it writes no such number or one beyond the type.
  static std::optional<Sum> parse(std::string_view text);
  // How far this sum is from `other`, exactly, whatever the two are.
  Magnitude distance(const Sum& other) const;
  static std::string text(Magnitude m);

  friend bool operator==(const Sum&, const Sum&) = default;
  friend bool operator<(const Sum& a, const Sum& b) {
    return a.value_ < b.value_;
  }

 private:
  Value value_ = 0;
};

#endif  // EMPUPDATE_TOTALS_SUM_H_
