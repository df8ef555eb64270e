// AddTrans: the "A" transaction, which adds an employee: the record gets the
// next employee number and is appended.
#ifndef EMPUPDATE_TRANS_ADDTRANS_H_
#define EMPUPDATE_TRANS_ADDTRANS_H_

#include "EmpTrans.h"

class AddTrans : public EmpTrans {
 public:
  void process() override;
};

#endif  // EMPUPDATE_TRANS_ADDTRANS_H_
