// empupdate: applies emptrans.dat to employee.dat, in the current directory.
//
// Exit status: 0 when the transactions ran out, or when a change or delete
// named an unknown employee (reported on standard error); 1 when either
// file can be neither opened nor created at start-up (nothing is written);
// 2 for every other error, with one diagnostic line on standard error. On
// that path nothing is cleaned up, and employee.dat holds exactly the
// transactions before the failing one.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "EmpTrans.h"
#include "Employee.h"
#include "RunFailure.h"

// Defined only in coverage builds, whose profile std::_Exit would lose.
extern "C" void __gcov_dump() __attribute__((weak));

namespace {

RunFailure::Stage stage = RunFailure::Stage::kStartUp;
long applied = 0;

// Every error that main does not catch ends here, before any unwinding:
// it becomes one diagnostic line and exit status 2, never an abort.
[[noreturn]] void reportAndExit() {
  const std::string text = RunFailure::message(
      "empupdate", std::current_exception(), stage, EmpTrans::line(), applied);
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
  if (__gcov_dump != nullptr) __gcov_dump();
  std::_Exit(2);
}

}  // namespace

int main() {
  std::set_terminate(reportAndExit);
  // A file-size limit then fails the write with EFBIG, which is reported,
  // instead of killing the process with a core dump.
  std::signal(SIGXFSZ, SIG_IGN);

  try {
    Employee::buildIndex();
    EmpTrans::openFile();
  } catch (Employee::CantOpenFile&) {
    return 1;
  } catch (EmpTrans::CantOpenFile&) {
    return 1;
  }

  stage = RunFailure::Stage::kLoop;
  try {
    for (;;) {
      auto transaction = EmpTrans::get();
      transaction->process();
      ++applied;
    }
  } catch (EmpTrans::NoMore&) {
  } catch (Employee::NoSuch&) {
  }
  EmpTrans::closeFile();
  return 0;
}
