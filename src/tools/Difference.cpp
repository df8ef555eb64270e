#include "Difference.h"

#include <cstring>

using Kind = PlanText::Kind;

Difference::Difference(const Employee* before, const Employee* after) {
  if (before == nullptr || after == nullptr) {
    kind = before == nullptr ? Kind::kAdd : Kind::kRemoval;
    return;
  }
  const Date &from = before->getDate(), &to = after->getDate();
  name = std::strncmp(before->getNameField(), after->getNameField(),
                      Employee::kNameBytes) != 0;
  category = before->getCategory() != after->getCategory();
  amount = before->getAmount() != after->getAmount();
  date = from.getYear() != to.getYear() || from.getMonth() != to.getMonth() ||
         from.getDay() != to.getDay();
  mark = before->getDeleted() != after->getDeleted();
  if (fields()) {
    kind = Kind::kChange;
  } else if (mark) {
    kind = after->getDeleted() == 1 ? Kind::kDelete : Kind::kChange;
  }
}

std::string Difference::line(const Employee* before,
                             const Employee* after) const {
  if (!kind) return "";
  switch (*kind) {
    case Kind::kAdd:
      return PlanText::addition(*after);
    case Kind::kRemoval:
      return PlanText::removal(*before);
    case Kind::kDelete:
      return PlanText::deletion(*before);
    case Kind::kChange:
      break;
  }
  return PlanText::change(*before, *after);
}
