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
