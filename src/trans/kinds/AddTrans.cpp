// AddTrans: the "A" transaction, A "NAME" CATEGORY AMOUNT YEAR/MONTH/DAY.
// process() stores every field exactly as read in a new record, which gets
// the next employee number (the transaction's own id, -1, is not used) and
// is appended to employee.dat. It passes on the errors of Employee::add.
#include "EmpTrans.h"
#include "PlanText.h"

namespace {

using Part = Finding::Part;

class AddTrans : public EmpTrans {
 public:
  AddTrans() { id = -1; }

  void process() override {
    // Every field as read, markers included: an add may store category -1,
    // amount 0, an empty name or a date in 1901.
    Employee e;
    e.setCategory(category);
    e.setAmount(amount);
    e.setName(name);
    e.setDate(date);
    e.add();
  }

  // An empty name or an amount of 0 is stored as it is, though in a
  // change each keeps the field: an add rarely means it.
  void review(Reading& r) const override {
    if (name[0] == '\0')
      r.warn(r.note(Part::kName), Finding::Reason::kEmptyName);
    if (amount == 0)
      r.warn(r.note(Part::kAmount), Finding::Reason::kZeroAmount);
  }

  std::string plan(const std::optional<Employee>&) const override {
    return PlanText::addition(*recordAfter());
  }
};

constexpr Part kFields[] = {Part::kName, Part::kCategory, Part::kAmount,
                            Part::kDate};

std::unique_ptr<EmpTrans> make() { return std::make_unique<AddTrans>(); }

}  // namespace

extern const EmpTrans::Kind kAddKind = {'A',     "add", "adds",
                                        kFields, make,  true};
