#include "Sum.h"

#include <algorithm>

std::string Sum::text(Magnitude m) {
  std::string digits;
  do {
    digits += static_cast<char>('0' + static_cast<int>(m % 10));
    m /= 10;
  } while (m != 0);
  std::reverse(digits.begin(), digits.end());
  return digits;
}

std::string Sum::text() const {
  // The magnitude in unsigned arithmetic: the most negative value has no
  // positive counterpart.
  const Magnitude m =
      value_ < 0 ? Magnitude(0) - Magnitude(value_) : Magnitude(value_);
  return (value_ < 0 ? "-" : "") + text(m);
}

std::optional<Sum> Sum::parse(std::string_view text) {
  const bool negative = !text.empty() && text[0] == '-';
  const std::string_view digits = text.substr(negative ? 1 : 0);
  if (digits.empty() ||
      digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  // Up to the limit of its sign: one more below zero than above.
  const Magnitude limit = (Magnitude(1) << 127) - (negative ? 0 : 1);
  Magnitude m = 0;
  for (const char c : digits) {
    const int digit = c - '0';
    if (m > (limit - digit) / 10) return std::nullopt;
    m = m * 10 + digit;
  }
  Sum sum;
  sum.value_ = negative ? Value(Magnitude(0) - m) : Value(m);
  return sum;
}

Sum::Magnitude Sum::distance(const Sum& other) const {
  // Modulo 2^128 the difference is exact: the true one is below that.
  return value_ < other.value_ ? Magnitude(other.value_) - Magnitude(value_)
                               : Magnitude(value_) - Magnitude(other.value_);
}
