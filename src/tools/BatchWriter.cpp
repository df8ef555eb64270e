#include "BatchWriter.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "Category.h"
#include "Display.h"

using Kind = PlanText::Kind;

namespace {

// What the transactions cannot make, told after "the transactions cannot
// "; %s is the value named.
namespace cannot {
constexpr const char* kRemove =
    "remove a record (a delete only marks it deleted)";
constexpr const char* kUnmark =
    "set deleted mark %s back to 0 (a change keeps the mark)";
constexpr const char* kMark =
    "set the deleted mark to %s (an add gives 0, a delete 1)";
constexpr const char* kReachLater =
    "reach this record, one after the first holding number %s (a change or "
    "delete finds the first)";
constexpr const char* kGiveNumber =
    "give this number (an add gets the next one, %s)";
constexpr const char* kGiveAnyNumber =
    "give this number (an add gets the next one, and 2147483647 is taken)";
constexpr const char* kEmptyName =
    "set an empty name (a change keeps the name given as \"\")";
constexpr const char* kQuoteInName =
    "write the name %s (a double quote ends a name)";
constexpr const char* kLineFeedInName =
    "write the name %s (a name cannot run past its line's end)";
constexpr const char* kCtrlZInName =
    "write the name %s (byte 0x1A ends the transactions)";
constexpr const char* kFullName =
    "write the name %s (it fills the field's 32 bytes with no NUL: a name "
    "holds 31)";
constexpr const char* kKeptCategory =
    "set the category * (a change keeps the category given as *)";
constexpr const char* kCategory =
    "write the category %s (the categories are S, H and *)";
constexpr const char* kZeroAmount =
    "set an amount of 0 (a change keeps the amount given as 0)";
constexpr const char* kKeptDate =
    "set the date %s (a change keeps the date given in 1901)";
constexpr const char* kDate =
    "write the date %s (a date is a real one, 1901-01-01 to 2099-12-31)";
}  // namespace cannot

// In a change, a date in this year keeps the date.
constexpr std::int32_t kKeepingYear = 1901;
// The category a change keeps the category with.
constexpr std::int32_t kKeepingCategory = categoryOf('*')->code;

std::string rawName(const Employee& e) {
  return std::string(e.getNameField(),
                     ::strnlen(e.getNameField(), Employee::kNameBytes));
}

// Whether the reader takes the date: by the rule of Date itself.
bool readable(const Date& d) {
  try {
    Date(d.getYear(), d.getMonth(), d.getDay());
    return true;
  } catch (const Date::OutOfRange&) {
    return false;
  }
}

bool hasLetter(std::int32_t code) {
  return std::ranges::any_of(
      kCategories, [code](const Category& c) { return c.code == code; });
}

// YEAR/MONTH/DAY as a transaction writes it: decimal, with no leading 0,
// which would make a number octal.
std::string written(const Date& d) {
  return std::to_string(d.getYear()) + "/" + std::to_string(d.getMonth()) +
         "/" + std::to_string(d.getDay());
}

// Why the reader cannot carry `name`, or null.
const char* unwritable(const std::string& name) {
  if (name.size() == Employee::kNameBytes) return cannot::kFullName;
  if (name.find('"') != std::string::npos) return cannot::kQuoteInName;
  if (name.find('\n') != std::string::npos) return cannot::kLineFeedInName;
  if (name.find('\x1A') != std::string::npos) return cannot::kCtrlZInName;
  return nullptr;
}

}  // namespace

void BatchWriter::tell(const std::string& opening, const char* words,
                       const std::string& value) {
  std::string text = words;
  if (const auto at = text.find("%s"); at != std::string::npos) {
    text.replace(at, 2, value);
  }
  ++problems_;
  std::fprintf(stderr, "%s: %s: the transactions cannot %s\n", program_,
               opening.c_str(), text.c_str());
}

void BatchWriter::checkFields(const std::string& opening, const Employee& e,
                              const Difference* changed) {
  const bool change = changed != nullptr;
  if (!change || changed->name) {
    const std::string name = rawName(e);
    if (const char* why = unwritable(name)) {
      tell(opening, why, PlanText::name(e));
    } else if (change && name.empty()) {
      tell(opening, cannot::kEmptyName);
    }
  }
  const std::int32_t category = e.getCategory();
  if (!change || changed->category) {
    if (!hasLetter(category)) {
      tell(opening, cannot::kCategory, Display::category(category));
    } else if (change && category == kKeepingCategory) {
      tell(opening, cannot::kKeptCategory);
    }
  }
  if (change && changed->amount && e.getAmount() == 0) {
    tell(opening, cannot::kZeroAmount);
  }
  if (!change || changed->date) {
    if (!readable(e.getDate())) {
      tell(opening, cannot::kDate, Display::date(e.getDate()));
    } else if (change && e.getDate().getYear() == kKeepingYear) {
      tell(opening, cannot::kKeptDate, Display::date(e.getDate()));
    }
  }
}

void BatchWriter::take(const Difference& d, const Employee* before,
                       const Employee* after, bool first, std::int64_t at) {
  if (d.kind == Kind::kRemoval) {
    tell(PlanText::opening(Kind::kRemoval, *before), cannot::kRemove);
  } else if (d.kind != Kind::kAdd) {
    change(d, *before, *after, first);
  } else if (ordered_) {
    add(*after);
  } else {
    held_.emplace_back(after->getId(), at);
  }
}

void BatchWriter::finish(const std::function<Employee(std::int64_t)>& fetch) {
  std::sort(held_.begin(), held_.end());
  for (const auto& [number, at] : held_) add(fetch(at));
  held_.clear();
}

void BatchWriter::add(const Employee& e) {
  const std::string opening = PlanText::opening(Kind::kAdd, e);
  const long had = problems_;
  if (next_ > std::numeric_limits<std::int32_t>::max()) {
    tell(opening, cannot::kGiveAnyNumber);
  } else if (e.getId() != next_) {
    tell(opening, cannot::kGiveNumber, std::to_string(next_));
  } else {
    ++next_;
  }
  checkFields(opening, e, nullptr);
  const std::int32_t mark = e.getDeleted();
  if (mark != 0 && mark != 1) {
    tell(opening, cannot::kMark, std::to_string(mark));
  }
  if (problems_ != had) return;
  write("A \"" + rawName(e) + "\" " + Display::category(e.getCategory()) + " " +
        std::to_string(e.getAmount()) + " " + written(e.getDate()));
  if (mark == 1) write("D " + std::to_string(e.getId()));
}

void BatchWriter::change(const Difference& d, const Employee& before,
                         const Employee& after, bool first) {
  const std::string opening = PlanText::opening(*d.kind, before);
  const std::string number = std::to_string(before.getId());
  if (!first) {
    tell(opening, cannot::kReachLater, number);
    return;
  }
  const long had = problems_;
  checkFields(opening, after, &d);
  const std::int32_t mark = after.getDeleted();
  if (d.mark && mark == 0) {
    tell(opening, cannot::kUnmark, std::to_string(before.getDeleted()));
  } else if (d.mark && mark != 1) {
    tell(opening, cannot::kMark, std::to_string(mark));
  }
  if (problems_ != had) return;
  // Each field that stays is given as the value that keeps it.
  if (d.fields()) {
    write(
        "C " + number + " \"" + (d.name ? rawName(after) : "") + "\" " +
        Display::category(d.category ? after.getCategory() : kKeepingCategory) +
        " " + std::to_string(d.amount ? after.getAmount() : 0) + " " +
        (d.date ? written(after.getDate())
                : std::to_string(kKeepingYear) + "/1/1"));
  }
  if (d.mark) write("D " + number);
}

void BatchWriter::write(const std::string& line) {
  if (out_ == nullptr) return;
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fputc('\n', out_);
}
