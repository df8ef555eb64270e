#include "DeleteTrans.h"

void DeleteTrans::process() {
  Employee e;
  loadOrReport(e);
  e.setDeleted(1);
  e.write();
}

void DeleteTrans::readFields(modifstream& in, Reading& reading) {
  readId(in, reading, true);
}

std::optional<Employee> DeleteTrans::recordBefore() const {
  return recordOf(id);
}

std::string DeleteTrans::plan(const std::optional<Employee>& before) const {
  const std::int32_t mark = before->getDeleted();
  return "delete " + std::to_string(id) +
         (mark == 1 ? ": already deleted"
          : mark == 0
              ? ""
              : ": deleted mark " + std::to_string(mark) + " becomes 1");
}
