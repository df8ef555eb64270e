#include "Batch.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "CommandLine.h"
#include "Diagnostic.h"
#include "Display.h"
#include "Employee.h"
#include "Interruption.h"
#include "SystemCalls.h"

// Defined only in coverage builds, whose profile std::_Exit would lose.
extern "C" void __gcov_dump() __attribute__((weak));

void Batch::startUpStage() {
  stage_ = Stage::kStartUp;
  applied_ = 0;
  interruptedAt_ = resumeAt_ = 0;
  Employee::buildIndex();
  // A run from a line reads the file whose line was looked at: one that
  // has gone since is not created empty.
  EmpTrans::openFile(&openError_, firstLine_ == 0);
  // Its own records would be read back as transactions.
  if (Employee::holds(EmpTrans::descriptor())) throw SameFile();
  if (firstLine_ > 1) EmpTrans::moveToLine(firstLine_);
}

void Batch::loop(Observer* observer, std::ostream* messages) {
  stage_ = Stage::kLoop;
  // A signal stops the run where it resumes: at the line the reader is
  // on, or at a transaction read while the signal came, not applied. The
  // diagnostic names the line of the next type letter, for --from.
  auto stopIfAsked = [this](bool read) {
    if (Interruption::pending() == 0) return;
    interruptedAt_ = read ? reading_.line() : EmpTrans::readerLine();
    resumeAt_ = read ? reading_.line() : EmpTrans::skipToNext();
    throw Interrupted();
  };
  for (;;) {
    stopIfAsked(false);
    const long from = EmpTrans::readerLine();
    std::unique_ptr<EmpTrans> t;
    try {
      t = EmpTrans::get(reading_);
    } catch (EmpTrans::NoMore&) {
      // One that came while the reader crossed the white space after the
      // last transaction is told as if it had come before: nothing is left.
      if (Interruption::pending() == 0) throw;
      interruptedAt_ = from;
      throw Interrupted();
    }
    stopIfAsked(true);
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

int Batch::readCommandLine(CommandLine& cl, int argc, char** argv,
                           std::vector<std::string> more) {
  more.push_back("--from=");
  if (const int done = cl.parse(argc, argv, more); done >= 0) return done;
  // "--" too: every argument a run takes is an option.
  if (!cl.operands().empty() || cl.optionsEnded()) {
    return cl.usageError("no operands are taken");
  }
  std::string why;
  if (const std::string* given = cl.value("--from");
      given != nullptr && (firstLine_ = firstLine(*given, why)) == 0) {
    return cl.usageError(why);
  }
  return -1;
}

long Batch::line() const {
  return interruptedAt_ != 0 ? interruptedAt_ : reading_.line();
}

std::string Batch::diagnostic(const std::exception_ptr& error) const {
  return Diagnostic::line("empupdate", error,
                          {.startUp = stage_ == Stage::kStartUp,
                           .line = line(),
                           .applied = applied_,
                           .finding = reading_.error(),
                           .openError = openError_,
                           .readError = EmpTrans::readError(),
                           .signal = Interruption::pending(),
                           .resumeAt = resumeLine()});
}

long Batch::resumeLine() const {
  if (interruptedAt_ != 0) return resumeAt_;
  // The text could not be read before a type letter: where the next
  // transaction starts is not known.
  if (EmpTrans::readError() != 0 && reading_.kind() < 0) return 0;
  return reading_.line();
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
  // Closed below also when found the same file as employee.dat.
  for (bool more = !failed; more;) {
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

long Batch::firstLine(const std::string& given, std::string& why) {
  const std::string shown = Display::name(given.data(), given.size());
  if (given.find_first_not_of("0123456789") != std::string::npos ||
      given.find_first_not_of('0') == std::string::npos) {
    why = "--from '" + shown + "': not a line number (a decimal number from 1)";
    return 0;
  }
  long line = LONG_MAX;  // one past the end of any file when it does not fit
  std::from_chars(given.data(), given.data() + given.size(), line);
  const std::string number = given.substr(given.find_first_not_of('0'));
  // Read by the run's own reader, as the run reads it: never created, and
  // a FIFO never opened.
  modifstream in(EmpTrans::kFileName, false);
  bool any = false;  // whether the line the reader is on holds a character
  for (int c; in.line() < line && (c = in.getRaw()) != EOF;) any = c != '\n';
  int first = in.peekRaw();  // of line `line`, after blanks
  for (; first != '\n' && modifstream::isWhiteSpace(first);
       first = in.peekRaw()) {
    any = in.getRaw() != EOF;
  }
  const bool letter = EmpTrans::placeOf(static_cast<char>(first)) >= 0;
  const long lines = any || first != EOF ? in.line() : in.line() - 1;
  why = "--from " + shown + ": ";
  if (const int error = in.error(); error != 0) {
    why += "cannot read emptrans.dat: " + SystemCalls::errorText(error);
  } else if (lines < line) {
    why += "line " + number + " is past the end of emptrans.dat, which " +
           (lines == 0 ? std::string("is empty")
                       : "has " + std::to_string(lines) +
                             (lines == 1 ? " line" : " lines"));
  } else if (!letter) {
    why += "line " + number +
           " of emptrans.dat does not begin with a transaction type (" +
           EmpTrans::letters() + ")";
  } else {
    why.clear();
    return line;
  }
  return 0;
}
