// BatchTotals: the control totals of a batch, as whoever prepares it
// counts them: how many transactions, how many of each kind (a row named
// by the kind's plural in EmpTrans::kinds(), so that a new kind has its
// row), the exact sum of the amounts the transactions hold ("amounts"),
// and the exact sum of the employee numbers of the kinds written with one
// ("numbers", the hash total). rows() is the one table of their names,
// which a control file (Control) uses too.
//
// It also keeps the line of each transaction counted with the two values
// summed, so that a total that differs can be traced to a transaction
// whose value is the difference. Nothing here throws but std::bad_alloc.
#ifndef EMPUPDATE_BATCH_BATCHTOTALS_H_
#define EMPUPDATE_BATCH_BATCHTOTALS_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "EmpTrans.h"
#include "Sum.h"

class BatchTotals {
 public:
  BatchTotals() : kinds_(EmpTrans::kinds().size()) {}

  // Counts `t`, a transaction read without a mistake on line `line`.
  void add(const EmpTrans& t, long line);

  // Each total with its name, in the order they are printed.
  std::vector<std::pair<std::string, Sum>> rows() const;
  // The names of rows().
  static std::vector<std::string> names();

  // For the total `name` when it sums a field (amounts or numbers): the
  // first transaction counted whose value of that field is, up to its
  // sign, `difference`, and the field's name ("amount"); line 0 when none
  // is, or the total counts transactions.
  struct Holder {
    long line = 0;
    std::int32_t value = 0;
    const char* field = nullptr;
  };
  Holder holding(const std::string& name, Sum::Magnitude difference) const;

 private:
  struct Counted {
    long line;
    std::int32_t amount, number;
    bool hasNumber;
  };

  Sum transactions_;
  std::vector<Sum> kinds_;  // in the order of EmpTrans::kinds()
  Sum amounts_, numbers_;
  std::vector<Counted> counted_;
};

#endif  // EMPUPDATE_BATCH_BATCHTOTALS_H_
