// DeleteTrans: the "D" transaction. process() loads the employee's record,
// marks it deleted and writes it back in place; the record stays in the
// file and in the index, and later transactions can still change it. An
// unknown employee number is reported as for a change.
#ifndef EMPUPDATE_TRANS_DELETETRANS_H_
#define EMPUPDATE_TRANS_DELETETRANS_H_

#include "EmpTrans.h"

class DeleteTrans : public EmpTrans {
 public:
  void process() override;
  std::optional<Employee> recordBefore() const override;
  std::string plan(const std::optional<Employee>& before) const override;

 protected:
  void readFields(modifstream& in, Reading& reading) override;
};

#endif  // EMPUPDATE_TRANS_DELETETRANS_H_
