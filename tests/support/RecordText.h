// RecordText: employee.dat as readable text for the end-to-end cases, one
// record per line, exact to the byte:
//   ID DELETED "NAME" CATEGORY AMOUNT YEAR/MONTH/DAY
// NAME is the whole 32-byte field less its trailing NULs, with \0, \\, \"
// and \xNN escapes. A line "raw HEX..." stands for bytes as they are (a
// damaged file); lines starting with # are comments.
#ifndef EMPUPDATE_TESTS_RUN_RECORDTEXT_H_
#define EMPUPDATE_TESTS_RUN_RECORDTEXT_H_

#include <string>

namespace record_text {

// The bytes of employee.dat described by `text`.
std::string toBytes(const std::string& text);
// The text of `bytes`; a remainder of under 60 bytes becomes a raw line.
std::string fromBytes(const std::string& bytes);

}  // namespace record_text

#endif  // EMPUPDATE_TESTS_RUN_RECORDTEXT_H_
