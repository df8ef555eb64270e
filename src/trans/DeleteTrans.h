// DeleteTrans: the "D" transaction, which marks an employee's record deleted
// and writes it back in place; the record stays in the file.
#ifndef EMPUPDATE_TRANS_DELETETRANS_H_
#define EMPUPDATE_TRANS_DELETETRANS_H_

#include "EmpTrans.h"

class DeleteTrans : public EmpTrans {
 public:
  void process() override;
};

#endif  // EMPUPDATE_TRANS_DELETETRANS_H_
