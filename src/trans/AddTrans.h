// AddTrans: the "A" transaction. process() stores every field exactly as
// read in a new record, which gets the next employee number (the
// transaction's own id, -1, is not used) and is appended to employee.dat.
// It passes on the errors of Employee::add.
#ifndef EMPUPDATE_TRANS_ADDTRANS_H_
#define EMPUPDATE_TRANS_ADDTRANS_H_

#include "EmpTrans.h"

class AddTrans : public EmpTrans {
 public:
  void process() override;
  std::optional<Employee> recordBefore() const override;
  std::string plan(const std::optional<Employee>& before) const override;

 protected:
  void readFields(modifstream& in, Reading& reading) override;
};

#endif  // EMPUPDATE_TRANS_ADDTRANS_H_
