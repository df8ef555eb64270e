// ChangeTrans: the "C" transaction, which changes the fields of an employee the
// transaction gives, and writes the record back in place; -1 category, 0
// amount, an empty name and a date in 1901 mean unchanged.
#ifndef EMPUPDATE_TRANS_CHANGETRANS_H_
#define EMPUPDATE_TRANS_CHANGETRANS_H_

#include "EmpTrans.h"

class ChangeTrans : public EmpTrans {
 public:
  void process() override;
};

#endif  // EMPUPDATE_TRANS_CHANGETRANS_H_
