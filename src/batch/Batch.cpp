#include "Batch.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "BatchTotals.h"
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
  if (journal_) {
    // Under the lock, the journal's run is taken up before the file is
    // indexed: a write it was stopped in may have left a record torn.
    Employee::lockFile(true);
    journal_->prepare(firstLine_, fromGiven_);
    Employee::buildIndex(journal_->scanner());
  } else {
    Employee::buildIndex();
  }
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
    std::unique_ptr<EmpTrans> t;
    try {
      t = EmpTrans::get(reading_);
    } catch (EmpTrans::NoMore&) {
      // One that came while the reader crossed the white space after the
      // last transaction is told as if it had come before: nothing is left.
      if (Interruption::pending() == 0) throw;
      interruptedAt_ = reading_.started();
      throw Interrupted();
    }
    stopIfAsked(true);
    id_ = t->id;
    if (journal_)
      journal_->transaction(reading_.line(), EmpTrans::lastLineRead());
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
    if (control_) {
      if (const std::string refusal = firstPass(); !refusal.empty()) {
        endWith(refusal);
      }
      rewind();
    }
    if (journal_) applied_ = journal_->resume(reading_, firstLine_);
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
  more.push_back("--control=");
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
  fromGiven_ = firstLine_ != 0;
  if (const std::string* file = cl.value("--control"); file != nullptr) {
    control_.emplace();
    if (const std::string wrong = control_->read(*file, cl.program());
        !wrong.empty()) {
      std::fputs(wrong.c_str(), stderr);
      return 2;
    }
  }
  return -1;
}

void Batch::keepJournal(const std::string& file) {
  journalName_ = Display::name(file.data(), file.size());
  journal_ = std::make_unique<RunJournal>(file);
}

long Batch::line() const {
  return interruptedAt_ != 0 ? interruptedAt_ : reading_.line();
}

std::string Batch::diagnostic(const std::exception_ptr& error) const {
  return Diagnostic::line("empupdate", error,
                          {.startUp = stage_ == Stage::kStartUp,
                           .journal = journal_ ? journalName_.c_str() : nullptr,
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
  // A control file's pass applied nothing: the run is made again as it was
  // asked for, from its first line.
  if (stage_ == Stage::kFirstPass) return firstLine_;
  // The text could not be read before a type letter: where the next
  // transaction starts is not known.
  if (EmpTrans::readError() != 0 && reading_.kind() < 0) return 0;
  return reading_.line();
}

void Batch::stop(Ending& ending, Observer* observer, int status,
                 const std::exception_ptr& error) const {
  if (ending.status != 0 || ending.unknownEmployee) return;
  if (observer != nullptr) observer->stopped();
  ending.status = status;
  ending.diagnostic = diagnostic(error);
  ending.error = error;
  ending.applied = applied_;
  if (stage_ != Stage::kStartUp) ending.line = line();
}

bool Batch::begin(Ending& ending, Observer* observer) {
  try {
    startUpStage();
  } catch (Employee::CantOpenFile&) {
    stop(ending, observer, 1, std::current_exception());
  } catch (EmpTrans::CantOpenFile&) {
    stop(ending, observer, 1, std::current_exception());
  } catch (...) {
    stop(ending, observer, 2, std::current_exception());
  }
  if (ending.status != 0) return false;
  if (!control_) return true;
  // With a control file that refuses the batch, nothing would be applied;
  // the batch is still read through, for its mistakes.
  try {
    if (const std::string refusal = firstPass(); !refusal.empty()) {
      stop(ending, observer, 2, nullptr);
      ending.diagnostic = refusal;
    }
  } catch (...) {
    stop(ending, observer, 2, std::current_exception());
    if (interruptedAt_ != 0) return false;
  }
  rewind();
  return true;
}

Batch::Ending Batch::run(Observer* observer) {
  Ending ending;
  auto failed = [&ending] {
    return ending.status != 0 || ending.unknownEmployee;
  };
  bool more = begin(ending, observer);
  // Closed below also when found the same file as employee.dat.
  while (more) {
    more = false;
    std::ostringstream message;
    try {
      loop(observer, &message);
    } catch (EmpTrans::NoMore&) {
      if (observer != nullptr) observer->ended(reading_);
    } catch (Employee::NoSuch&) {
      if (!failed()) {
        if (observer != nullptr) observer->stopped();
        ending.unknownEmployee = true;
        ending.unknownId = id_;
        ending.message = message.str();
        ending.line = reading_.line();
        ending.applied = applied_;
      } else if (reading_.line() > ending.line) {
        ++ending.mistakes;
      }
      if (observer != nullptr) observer->unknown(id_, message.str(), reading_);
      more = true;
    } catch (...) {
      // Only a transaction that failed to read is left out; after any
      // other error the run could not go on.
      const bool mistake = reading_.error() != nullptr;
      if (failed() && mistake && reading_.line() > ending.line) {
        ++ending.mistakes;
      }
      stop(ending, observer, 2, std::current_exception());
      if (mistake && reading_.kind() >= 0 &&
          EmpTrans::kinds()[reading_.kind()]->givesNumber) {
        takeNumber();
      }
      if (mistake && observer != nullptr) observer->mistake(reading_);
      more = mistake;
      if (more) EmpTrans::skipFailed(reading_);
    }
  }
  if (!failed()) ending.applied = applied_;
  EmpTrans::closeFile();
  return ending;
}

std::string Batch::firstPass() {
  stage_ = Stage::kFirstPass;
  BatchTotals totals;
  // The numbers the run would find: those indexed, and those the adds
  // read so far would give out, the next ones after the highest. No record
  // is ever removed, so this is exact; so is the room the adds need.
  const std::int64_t highest = Employee::getMaxId();
  std::int64_t adds = 0;
  // Those a journal records as applied are in the file already: only
  // counted.
  long applied = journal_ ? journal_->applied() : 0;
  for (;;) {
    if (Interruption::pending() != 0) {
      // Nothing was applied: the run is made again as it was asked for.
      interruptedAt_ = std::max(firstLine_, 1L);
      resumeAt_ = firstLine_;
      throw Interrupted();
    }
    std::unique_ptr<EmpTrans> t;
    try {
      t = EmpTrans::get(reading_);
    } catch (EmpTrans::NoMore&) {
      break;
    }
    const EmpTrans::Kind& kind = *EmpTrans::kinds()[t->kind()];
    if (applied > 0) {
      --applied;
      totals.add(*t, reading_.line());
      continue;
    }
    if (kind.hasNumber() && (t->id <= highest || t->id > highest + adds) &&
        Employee::find(t->id) < 0) {
      Finding unknown = reading_.note(Finding::Part::kNumber);
      unknown.reason = Finding::Reason::kUnknownEmployee;
      return Diagnostic::line("empupdate", nullptr,
                              {.line = reading_.line(),
                               .applied = 0,
                               .finding = &unknown,
                               .resumeAt = firstLine_});
    }
    if (kind.givesNumber) Employee::checkRoom(++adds);
    totals.add(*t, reading_.line());
  }
  return control_->check(totals);
}

void Batch::rewind() {
  EmpTrans::rewindFile();
  if (firstLine_ > 1) EmpTrans::moveToLine(firstLine_);
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
  endWith(diagnostic(error));
}

void Batch::endWith(const std::string& text) const {
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
