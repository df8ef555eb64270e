#include "PlanText.h"

#include "Display.h"

namespace {

// The word each kind of line starts with, by PlanText::Kind.
constexpr const char* kWords[] = {"add", "change", "delete", "remove"};

}  // namespace

std::string PlanText::opening(Kind kind, const Employee& e) {
  return kWords[static_cast<int>(kind)] + (" " + std::to_string(e.getId())) +
         (e.getDeleted() != 0 ? " (deleted)" : "");
}

std::string PlanText::name(const Employee& e) {
  std::string out = "\"";
  for (const char c : Display::name(e.getNameField(), Employee::kNameBytes)) {
    out += c == '"' ? "\\\"" : std::string(1, c);
  }
  return out + "\"";
}

std::string PlanText::fields(const Employee& e) {
  return name(e) + " " + Display::category(e.getCategory()) + " " +
         std::to_string(e.getAmount()) + " " + Display::date(e.getDate());
}

std::string PlanText::addition(const Employee& added) {
  return opening(Kind::kAdd, added) + ": " + fields(added);
}

std::string PlanText::removal(const Employee& gone) {
  return opening(Kind::kRemoval, gone) + ": " + fields(gone);
}

std::string PlanText::change(const Employee& before, const Employee& after) {
  std::string changed;
  auto field = [&](const char* name, const std::string& from,
                   const std::string& to) {
    if (from == to) return;
    changed += (changed.empty() ? ": " : "; ") + std::string(name) + " " +
               from + " -> " + to;
  };
  field("name", name(before), name(after));
  field("category", Display::category(before.getCategory()),
        Display::category(after.getCategory()));
  field("amount", std::to_string(before.getAmount()),
        std::to_string(after.getAmount()));
  field("date", Display::date(before.getDate()),
        Display::date(after.getDate()));
  // A change keeps the mark: only two files can differ in it.
  field("deleted", std::to_string(before.getDeleted()),
        std::to_string(after.getDeleted()));
  return opening(Kind::kChange, before) +
         (changed.empty() ? ": nothing changes" : changed);
}

std::string PlanText::deletion(const Employee& before) {
  const std::int32_t mark = before.getDeleted();
  return opening(Kind::kDelete, before) +
         (mark == 1 ? ": already deleted"
          : mark == 0
              ? ""
              : ": deleted mark " + std::to_string(mark) + " becomes 1");
}
