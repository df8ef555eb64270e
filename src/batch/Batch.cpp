#include "Batch.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "Diagnostic.h"
#include "Employee.h"
#include "Interruption.h"

// Defined only in coverage builds, whose profile std::_Exit would lose.
extern "C" void __gcov_dump() __attribute__((weak));

void Batch::startUpStage() {
  stage_ = Stage::kStartUp;
  applied_ = 0;
  interruptedAt_ = 0;
  Employee::buildIndex();
  EmpTrans::openFile(&openError_);
  // Its own records would be read back as transactions.
  if (Employee::holds(EmpTrans::descriptor())) throw SameFile();
}

void Batch::loop(Observer* observer, std::ostream* messages) {
  stage_ = Stage::kLoop;
  // A signal stops the run where it resumes: at the line the reader is
  // on, or at a transaction read while the signal came, not applied.
  auto stopIfAsked = [this](long resumeAt) {
    if (Interruption::pending() == 0) return;
    interruptedAt_ = resumeAt;
    throw Interrupted();
  };
  for (;;) {
    stopIfAsked(EmpTrans::readerLine());
    const std::unique_ptr<EmpTrans> t = EmpTrans::get(reading_);
    stopIfAsked(reading_.line());
    id_ = t->id;
    if (messages != nullptr) t->sendMessagesTo(*messages);
    if (observer != nullptr) observer->before(*t, reading_);
    t->process();
    ++applied_;
    if (observer != nullptr) observer->after(*t, reading_);
  }
}

void Batch::startUp() {
  try {
    startUpStage();
  } catch (Employee::CantOpenFile&) {
    throw;
  } catch (EmpTrans::CantOpenFile&) {
    throw;
  } catch (...) {
    endOnError(std::current_exception());
  }
}

void Batch::applyAll() {
  try {
    loop(nullptr, nullptr);
  } catch (EmpTrans::NoMore&) {
    throw;
  } catch (Employee::NoSuch&) {
    throw;
  } catch (...) {
    endOnError(std::current_exception());
  }
}

long Batch::line() const {
  return interruptedAt_ != 0 ? interruptedAt_ : reading_.line();
}

std::string Batch::diagnostic(const std::exception_ptr& error) const {
  Diagnostic::Context context;
  context.startUp = stage_ == Stage::kStartUp;
  context.line = line();
  context.applied = applied_;
  context.finding = reading_.error();
  context.openError = openError_;
  context.readError = EmpTrans::readError();
  context.signal = Interruption::pending();
  return Diagnostic::line("empupdate", error, context);
}

Batch::Ending Batch::run(Observer* observer) {
  Ending ending;
  bool failed = false;
  auto fail = [&](int status, const std::exception_ptr& error) {
    if (failed) return;
    failed = true;
    ending.status = status;
    ending.diagnostic = diagnostic(error);
    ending.applied = applied_;
    if (stage_ == Stage::kLoop) ending.line = line();
  };
  try {
    startUpStage();
  } catch (Employee::CantOpenFile&) {
    fail(1, std::current_exception());
  } catch (EmpTrans::CantOpenFile&) {
    fail(1, std::current_exception());
  } catch (...) {
    fail(2, std::current_exception());
  }
  if (failed) {
    EmpTrans::closeFile();  // opened before it was found the same file
    return ending;
  }
  for (bool more = true; more;) {
    more = false;
    std::ostringstream message;
    try {
      loop(observer, &message);
    } catch (EmpTrans::NoMore&) {
      if (observer != nullptr) observer->ended(reading_);
    } catch (Employee::NoSuch&) {
      if (!failed) {
        failed = true;
        ending.unknownEmployee = true;
        ending.unknownId = id_;
        ending.message = message.str();
        ending.line = reading_.line();
        ending.applied = applied_;
      } else {
        ++ending.mistakes;
      }
      if (observer != nullptr) observer->unknown(id_, message.str(), reading_);
      more = true;
    } catch (...) {
      // Only a transaction that failed to read is left out; after any
      // other error the run could not go on.
      const bool mistake = reading_.error() != nullptr;
      if (failed && mistake) ++ending.mistakes;
      if (mistake && reading_.kind() >= 0 &&
          EmpTrans::kinds()[reading_.kind()]->givesNumber) {
        takeNumber();
      }
      fail(2, std::current_exception());
      if (mistake && observer != nullptr) observer->mistake(reading_);
      more = mistake;
      if (more) EmpTrans::skipFailed(reading_);
    }
  }
  if (!failed) ending.applied = applied_;
  EmpTrans::closeFile();
  return ending;
}

void Batch::takeNumber() {
  // A stand-in record takes the number the add that failed would have
  // given, as it will once fixed, so that the changes and deletes of the
  // numbers after it are judged as they will be. Were no stand-in to be
  // had, those would only be judged one number off.
  try {
    Employee().add();
  } catch (...) {
  }
}

void Batch::endOnError(const std::exception_ptr& error) const {
  const std::string text = diagnostic(error);
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
  if (__gcov_dump != nullptr) __gcov_dump();
  if (interruptedAt_ != 0) {
    Interruption::endAsSignalled(Interruption::pending());
  }
  std::_Exit(2);
}
