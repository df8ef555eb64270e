#include "Batch.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "Diagnostic.h"
#include "Employee.h"
#include "Interruption.h"

// Defined only in coverage builds, whose profile std::_Exit would lose.
extern "C" void __gcov_dump() __attribute__((weak));

Batch::Stage Batch::stage_ = Batch::Stage::kStartUp;
long Batch::applied_ = 0;
std::int32_t Batch::id_ = 0;
long Batch::interruptedAt_ = 0;

void Batch::startUp() {
  stage_ = Stage::kStartUp;
  applied_ = 0;
  interruptedAt_ = 0;
  Employee::buildIndex();
  EmpTrans::openFile();
  // Its own records would be read back as transactions.
  if (Employee::holds(EmpTrans::descriptor())) throw SameFile();
}

void Batch::applyAll(Observer* observer) {
  stage_ = Stage::kLoop;
  // A signal stops the run where it resumes: at the line the reader is
  // on, or at a transaction read while the signal came, not applied.
  auto stopIfAsked = [](long resumeAt) {
    if (Interruption::pending() == 0) return;
    interruptedAt_ = resumeAt;
    throw Interrupted();
  };
  for (;;) {
    stopIfAsked(EmpTrans::readerLine());
    const std::unique_ptr<EmpTrans> t = EmpTrans::get();
    stopIfAsked(EmpTrans::line());
    id_ = t->id;
    if (observer != nullptr) observer->before(*t);
    t->process();
    ++applied_;
    if (observer != nullptr) observer->after(*t);
  }
}

long Batch::line() {
  return interruptedAt_ != 0 ? interruptedAt_ : EmpTrans::line();
}

std::string Batch::diagnostic(const char* program) {
  return Diagnostic::line(program, std::current_exception(),
                          stage_ == Stage::kStartUp, line(), applied_);
}

Batch::Ending Batch::run(Observer* observer) {
  Ending ending;
  auto fail = [&](int status) {
    ending.status = status;
    ending.diagnostic = diagnostic("empupdate");
    if (stage_ == Stage::kLoop) ending.line = line();
  };
  try {
    startUp();
  } catch (Employee::CantOpenFile&) {
    fail(1);
  } catch (EmpTrans::CantOpenFile&) {
    fail(1);
  } catch (...) {
    fail(2);
  }
  if (ending.status != 0) return ending;
  try {
    applyAll(observer);
  } catch (EmpTrans::NoMore&) {
  } catch (Employee::NoSuch&) {
    ending.unknownEmployee = true;
    ending.unknownId = id_;
    ending.line = EmpTrans::line();
  } catch (...) {
    fail(2);
  }
  EmpTrans::closeFile();
  return ending;
}

void Batch::endOnError() {
  const std::string text = diagnostic("empupdate");
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
  if (__gcov_dump != nullptr) __gcov_dump();
  if (interruptedAt_ != 0) {
    Interruption::endAsSignalled(Interruption::pending());
  }
  std::_Exit(2);
}
