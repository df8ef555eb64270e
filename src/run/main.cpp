// empupdate: applies emptrans.dat to employee.dat, in the current directory.
//
// Exit status: 0 when the transactions ran out, or when a change or delete
// named an unknown employee (reported on standard error); 1 when either
// file can be neither opened nor created at start-up (nothing is written);
// 2 for every other error, with one diagnostic line on standard error. On
// that path nothing is cleaned up, and employee.dat holds exactly the
// transactions before the failing one. SIGINT, SIGTERM and SIGHUP stop the
// run between two transactions, with a diagnostic, and then end it as the
// signal would.
#include <csignal>
#include <exception>

#include "Batch.h"
#include "EmpTrans.h"
#include "Employee.h"
#include "Interruption.h"
#include "StandardDescriptors.h"

int main() {
  // With 2 closed, the first file opened would receive the diagnostics.
  if (!StandardDescriptors::ensureOpen()) return 2;
  std::set_terminate(Batch::endOnError);
  // A file-size limit then fails the write with EFBIG, which is reported,
  // instead of killing the process with a core dump.
  std::signal(SIGXFSZ, SIG_IGN);
  Interruption::catchSignals();

  try {
    Batch::startUp();
  } catch (Employee::CantOpenFile&) {
    return 1;
  } catch (EmpTrans::CantOpenFile&) {
    return 1;
  }

  try {
    Batch::applyAll();
  } catch (EmpTrans::NoMore&) {
  } catch (Employee::NoSuch&) {
  }
  EmpTrans::closeFile();
  return 0;
}
