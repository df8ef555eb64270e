// Category: the letter that stands for an employee's category code in text,
// where a transaction gives it and wherever a record is shown. kCategories
// is the one table of them; a code without a letter is shown as a number.
#ifndef EMPUPDATE_DISPLAY_CATEGORY_H_
#define EMPUPDATE_DISPLAY_CATEGORY_H_

#include <cstdint>

struct Category {
  char letter;
  std::int32_t code;
};

inline constexpr Category kCategories[] = {{'S', 0}, {'H', 1}, {'*', -1}};

// The category of letter `c`, or nullptr when no category has it.
constexpr const Category* categoryOf(char c) {
  for (const Category& k : kCategories) {
    if (k.letter == c) return &k;
  }
  return nullptr;
}

#endif  // EMPUPDATE_DISPLAY_CATEGORY_H_
