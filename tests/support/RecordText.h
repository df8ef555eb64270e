// RecordText: employee.dat written as readable text for the end-to-end
// cases, one record per line, exact to the byte:
//   ID DELETED "NAME" CATEGORY AMOUNT YEAR/MONTH/DAY
// NAME is the whole 32-byte field less its trailing NULs, with \0, \\, \"
// and \xNN escapes. A line "raw HEX..." stands for bytes as they are (a
// damaged file); lines starting with # are comments.
#ifndef EMPUPDATE_TESTS_RUN_RECORDTEXT_H_
#define EMPUPDATE_TESTS_RUN_RECORDTEXT_H_

#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <string>

#include "Employee.h"
#include "Escapes.h"

namespace record_text {

// The bytes of employee.dat described by `text`.
inline std::string toBytes(const std::string& text) {
  using E = Employee;
  std::istringstream lines(text);
  std::string bytes;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream in(line);
    std::string first;
    if (!(in >> first) || first[0] == '#') continue;
    for (std::string hex; first == "raw" && in >> hex;)
      bytes += static_cast<char>(std::stoi(hex, nullptr, 16));
    if (first == "raw") continue;
    // The name between the first quote and the last; the numbers around it.
    const auto open = line.find('"'), close = line.rfind('"');
    const std::string name = unescape(line.substr(open + 1, close - open - 1));
    const std::string numbers = line.substr(0, open) + line.substr(close + 1);
    long v[7];  // id, deleted, category, amount, year, month, day
    if (open == close || name.size() > E::kNameBytes ||
        std::sscanf(numbers.c_str(), "%ld %ld %ld %ld %ld/%ld/%ld", v, v + 1,
                    v + 2, v + 3, v + 4, v + 5, v + 6) != 7) {
      throw std::runtime_error("bad record line: " + line);
    }
    // Built field by field, independently of the codec under test.
    const std::size_t at[] = {E::kIdAt,      E::kDeletedAt, E::kCategoryAt,
                              E::kAmountAt,  E::kDateAt,    E::kDateAt + 4,
                              E::kDateAt + 8};
    std::string r(E::kRecordBytes, '\0');
    for (int f = 0; f < 7; ++f)
      for (int i = 0; i < 4; ++i)
        r[at[f] + i] = char((unsigned long)v[f] >> 8 * i);
    bytes += r.replace(E::kNameAt, name.size(), name);
  }
  return bytes;
}

}  // namespace record_text

#endif  // EMPUPDATE_TESTS_RUN_RECORDTEXT_H_
