// ChangeTrans: the "C" transaction,
// C NUMBER "NAME" CATEGORY AMOUNT YEAR/MONTH/DAY. process() loads the
// record of the employee number, sets each field the transaction gives (an
// empty name, category "*", amount 0 and a date in 1901 keep the field as
// it is), and writes it back, even when nothing changed. For an unknown
// employee number it writes its message and throws Employee::NoSuch.
#include "EmpTrans.h"
#include "PlanText.h"

namespace {

using Part = Finding::Part;

class ChangeTrans : public EmpTrans {
 public:
  void process() override {
    Employee e;
    loadOrReport(e);
    if (category != -1) e.setCategory(category);
    if (amount != 0) e.setAmount(amount);
    if (name[0] != '\0') e.setName(name);
    if (date.getYear() != 1901) e.setDate(date);
    // Written back even when nothing changed; a deleted record stays
    // deleted.
    e.write();
  }

  // "C 2 "" * 0 1901/1/1", meant perhaps to set the amount to 0.
  void review(Reading& r) const override {
    if (category != -1 || amount != 0 || name[0] != '\0' ||
        date.getYear() != 1901) {
      return;
    }
    r.warn(r.note(Part::kType), Finding::Reason::kChangesNothing);
  }

  // A change loads its record and writes it back with its deleted mark.
  std::optional<Finding> reviewRecord(const Reading& r,
                                      const Employee& before) const override {
    if (before.getDeleted() == 0) return std::nullopt;
    Finding f = r.note(Part::kNumber);
    f.reason = Finding::Reason::kChangeOfDeleted;
    return f;
  }

  // The month and day of a date in 1901, which changes nothing.
  bool ignores(Part p) const override {
    return (p == Part::kMonth || p == Part::kDay) && date.getYear() == 1901;
  }

  std::string plan(const std::optional<Employee>& before) const override {
    return PlanText::change(*before, *recordAfter());
  }
};

constexpr Part kFields[] = {Part::kNumber, Part::kName, Part::kCategory,
                            Part::kAmount, Part::kDate};

std::unique_ptr<EmpTrans> make() { return std::make_unique<ChangeTrans>(); }

}  // namespace

extern const EmpTrans::Kind kChangeKind = {
    'C',
    "change",
    "changes",
    kFields,
    make,
    false,
    "A change keeps a field given as \"\" (name), * (category), 0 (amount)\n"
    "or a date in 1901."};
