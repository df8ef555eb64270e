// Difference: what differs between the two records of one employee number,
// OLD's and NEW's (either may be missing), field by field as the programs
// read them: the name up to its NUL (the bytes after it are no change),
// category, amount, date, and the deleted mark, any change of it; and the
// kind of plan line (PlanText) that tells it:
//
// - a record only in NEW is an add, one only in OLD a removal;
// - a mark that became 1, nothing else changed, is a delete;
// - any other difference is a change.
//
// A value made once from the two records; it keeps no pointer to them.
#ifndef EMPUPDATE_TOOLS_DIFFERENCE_H_
#define EMPUPDATE_TOOLS_DIFFERENCE_H_

#include <optional>

#include "Employee.h"
#include "PlanText.h"

struct Difference {
  // `before` and `after` not both null.
  Difference(const Employee* before, const Employee* after);

  // Whether any field but the mark differs.
  bool fields() const { return name || category || amount || date; }
  // The line that tells it, as PlanText words it; of no kind, "".
  std::string line(const Employee* before, const Employee* after) const;

  bool name = false, category = false, amount = false, date = false,
       mark = false;
  std::optional<PlanText::Kind> kind;  // none when nothing differs
};

#endif  // EMPUPDATE_TOOLS_DIFFERENCE_H_
