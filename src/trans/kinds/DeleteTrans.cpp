// DeleteTrans: the "D" transaction, D NUMBER. process() loads the record of
// the employee number, marks it deleted and writes it back; the record
// stays in the file. For an unknown employee number it writes its message
// and throws Employee::NoSuch.
#include "EmpTrans.h"
#include "PlanText.h"

namespace {

using Part = Finding::Part;

class DeleteTrans : public EmpTrans {
 public:
  void process() override {
    Employee e;
    loadOrReport(e);
    e.setDeleted(1);
    e.write();
  }

  std::string plan(const std::optional<Employee>& before) const override {
    return PlanText::deletion(*before);
  }
};

constexpr Part kFields[] = {Part::kNumber};

std::unique_ptr<EmpTrans> make() { return std::make_unique<DeleteTrans>(); }

}  // namespace

extern const EmpTrans::Kind kDeleteKind = {'D',     "delete", "deletes",
                                           kFields, make,     false};
