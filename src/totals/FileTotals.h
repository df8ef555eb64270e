// FileTotals: the control totals of a file of employee records, which the
// operator balances after a run: how many records, live and deleted, and,
// for each category of Category's table and for any other code a record
// may hold, how many live records hold it and the exact sum of their
// amounts. A record is live when its deleted mark is 0, as empdump --live
// shows it; any other mark counts as deleted.
//
// rows() is the one table of their labels ("records", "live S",
// "amounts other"), which empdump --totals and empcheck --totals both
// print through table(). Nothing here throws but std::bad_alloc.
#ifndef EMPUPDATE_TOTALS_FILETOTALS_H_
#define EMPUPDATE_TOTALS_FILETOTALS_H_

#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "Category.h"
#include "RecordFile.h"
#include "Sum.h"

class FileTotals {
 public:
  // Counts the first `records` records of `file`, from its start. Returns
  // how many were read, as RecordFile::forEachRecord does: fewer when the
  // file ended first, -1 when it could not be read.
  std::int64_t read(RecordFile& file, std::int64_t records);

  // Each total with its label, in the order they are printed.
  std::vector<std::pair<std::string, Sum>> rows() const;

  // A line a label, its value in each of `columns` after it, right-aligned
  // under `heads` when given (then a first line of them, after `corner`).
  static std::string table(std::span<const FileTotals> columns,
                           const std::vector<std::string>& heads = {},
                           const std::string& corner = "");

 private:
  // A category's live records and their amounts.
  struct Share {
    Sum live, amounts;
  };
  static constexpr std::size_t kShares = std::size(kCategories) + 1;

  Sum records_, live_, deleted_;
  Share shares_[kShares];  // in Category's order, then any other code
};

#endif  // EMPUPDATE_TOTALS_FILETOTALS_H_
