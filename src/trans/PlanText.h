// PlanText: the words of a plan line, which tells what a transaction does
// to a record ("change 6: name "Jonathan" -> "Al"; amount 2100 -> 2300"),
// as empcheck --list shows each transaction and empdiff each difference
// between two files. The one place those lines are worded.
//
// A name is shown as empdump shows it (Display), between double quotes, a
// quote in it as \": no line holds a byte a terminal would act on. Pure
// functions of the records given; nothing throws but allocation.
#ifndef EMPUPDATE_TRANS_PLANTEXT_H_
#define EMPUPDATE_TRANS_PLANTEXT_H_

#include <string>

#include "Employee.h"

class PlanText {
 public:
  // What a line tells, and the word it starts with.
  enum class Kind { kAdd, kChange, kDelete, kRemoval };

  // "add 7: "Ann" H 500 1999-05-17", of the record added.
  static std::string addition(const Employee& added);
  // "change 6: amount 2100 -> 2300", each field that differs between
  // `before` and `after`, the deleted mark last ("deleted 1 -> 0"), or
  // "change 6: nothing changes".
  static std::string change(const Employee& before, const Employee& after);
  // "delete 4", of the record before the delete, with what the delete
  // makes of a mark that is not 0.
  static std::string deletion(const Employee& before);
  // "remove 9: "Bo" S 100 2001-02-03", of a record no longer there.
  static std::string removal(const Employee& gone);
  // How a line of `kind` about `e` starts: "change 3 (deleted)".
  static std::string opening(Kind kind, const Employee& e);
  // The name of a record between double quotes: "Ann".
  static std::string name(const Employee& e);

 private:
  // A record's fields as a line lists them: "Ann" H 500 1999-05-17.
  static std::string fields(const Employee& e);
};

#endif  // EMPUPDATE_TRANS_PLANTEXT_H_
