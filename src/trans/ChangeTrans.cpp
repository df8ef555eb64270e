#include "ChangeTrans.h"

#include "Display.h"

void ChangeTrans::process() {
  Employee e;
  loadOrReport(e);
  if (category != -1) e.setCategory(category);
  if (amount != 0) e.setAmount(amount);
  if (name[0] != '\0') e.setName(name);
  if (date.getYear() != 1901) e.setDate(date);
  // Written back even when nothing changed; a deleted record stays deleted.
  e.write();
}

void ChangeTrans::readFields(modifstream& in, Reading& reading) {
  readId(in, reading, false);
  readContent(in, reading, false, true);
}

std::optional<Employee> ChangeTrans::recordBefore() const {
  return recordOf(id);
}

std::string ChangeTrans::plan(const std::optional<Employee>& before) const {
  const Employee now = *recordOf(id);
  std::string changed;
  auto field = [&](const char* name, const std::string& from,
                   const std::string& to) {
    if (from == to) return;
    changed += (changed.empty() ? ": " : "; ") + std::string(name) + " " +
               from + " -> " + to;
  };
  field("name", shownName(*before), shownName(now));
  field("category", Display::category(before->getCategory()),
        Display::category(now.getCategory()));
  field("amount", std::to_string(before->getAmount()),
        std::to_string(now.getAmount()));
  field("date", Display::date(before->getDate()), Display::date(now.getDate()));
  return "change " + std::to_string(id) +
         (changed.empty() ? ": nothing changes" : changed);
}
