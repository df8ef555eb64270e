#include "DeleteTrans.h"

void DeleteTrans::process() {
  Employee e;
  loadOrReport(e);
  e.setDeleted(1);
  e.write();
}
