// ChangeTrans: the "C" transaction. process() loads the employee's record,
// sets each field the transaction gives, and writes the record back in
// place. Four values leave a field unchanged: category -1, amount 0, an
// empty name, and any date in 1901 (the whole date stays). An unknown
// employee number is reported on standard error and ends the batch with
// Employee::NoSuch; other errors of the employee file pass on unchanged.
#ifndef EMPUPDATE_TRANS_CHANGETRANS_H_
#define EMPUPDATE_TRANS_CHANGETRANS_H_

#include "EmpTrans.h"

class ChangeTrans : public EmpTrans {
 public:
  void process() override;
  std::optional<Employee> recordBefore() const override;
  std::string plan(const std::optional<Employee>& before) const override;

 protected:
  void readFields(modifstream& in, Reading& reading) override;
};

#endif  // EMPUPDATE_TRANS_CHANGETRANS_H_
