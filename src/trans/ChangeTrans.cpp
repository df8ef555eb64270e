#include "ChangeTrans.h"

void ChangeTrans::process() {
  Employee e;
  loadOrReport(e);
  if (category != -1) e.setCategory(category);
  if (amount != 0) e.setAmount(amount);
  if (name[0] != '\0') e.setName(name);
  if (date.getYear() != 1901) e.setDate(date);
  // Written back even when nothing changed; a deleted record stays deleted.
  e.write();
}
