// Control: a control file, the totals that whoever prepared a batch
// counted for it, which the run checks before it applies anything.
//
// The file holds `NAME VALUE` lines, blanks between and around the two;
// each NAME one of BatchTotals's (transactions, each kind's plural,
// amounts, numbers), at most once, any left out; each VALUE a decimal
// integer, an optional minus then digits, exact at any size a Sum holds.
// Blank lines, lines whose first character past blanks is "#", and a
// "#" word after the value and what follows it are ignored; a file that
// gives no total is refused, as one that checks nothing. It is read through one descriptor, a regular file only (a FIFO
// or device refused by its type without being opened), and at most
// kMostBytes of it.
//
// Both programs word what they find here, GNU style, as
// PROGRAM:FILE:LINE: WHAT, lower case and with no final period, a line
// each. Nothing here throws but std::bad_alloc.
#ifndef EMPUPDATE_BATCH_CONTROL_H_
#define EMPUPDATE_BATCH_CONTROL_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "BatchTotals.h"
#include "Sum.h"

class Control {
 public:
  // A control file is a few lines; one far larger is no control file.
  static constexpr std::size_t kMostBytes = 1 << 16;

  // Reads the control file `path` for `program`. Returns its diagnostics,
  // with their line ends: one for a file that can't be read, else one for
  // each line that is wrong; empty when the file can be used.
  std::string read(const std::string& path, const char* program);

  // The names a control file takes, as a sentence lists them:
  // "transactions, adds, ... amounts or numbers".
  static std::string choices();

  // The run's diagnostics, in file order, for each total of the file that
  // differs from the one `counted` has, with the transaction whose value
  // may explain it; empty when all agree.
  std::string check(const BatchTotals& counted) const;

 private:
  struct Given {
    std::string name;
    Sum value;
    long line;
  };
  // What is wrong with line `line` of the file, split into `words`, or an
  // empty string; a total it gives is noted.
  std::string judge(const std::vector<std::string_view>& words, long line);

  std::string shown_;  // the file's name, as diagnostics show it
  std::vector<Given> given_;
};

#endif  // EMPUPDATE_BATCH_CONTROL_H_
