#include "AddTrans.h"

void AddTrans::process() {
  // Every field as read, markers included: an add may store category -1,
  // amount 0, an empty name or a date in 1901.
  Employee e;
  e.setCategory(category);
  e.setAmount(amount);
  e.setName(name);
  e.setDate(date);
  e.add();
}

void AddTrans::readFields(modifstream& in, Reading& reading) {
  readContent(in, reading, true, false);
  id = -1;
}

std::optional<Employee> AddTrans::recordBefore() const { return std::nullopt; }

std::string AddTrans::plan(const std::optional<Employee>&) const {
  // The record appended last got the highest number there is.
  const std::optional<Employee> e = recordOf(Employee::getMaxId());
  return "add " + std::to_string(e->getId()) + ": " + shownFields(*e);
}
