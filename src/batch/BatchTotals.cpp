#include "BatchTotals.h"

namespace {

constexpr const char* kAmounts = "amounts";
constexpr const char* kNumbers = "numbers";

}  // namespace

void BatchTotals::add(const EmpTrans& t, long line) {
  const bool hasNumber = EmpTrans::kinds()[t.kind()]->hasNumber();
  transactions_.add(1);
  kinds_[t.kind()].add(1);
  amounts_.add(t.amount);
  if (hasNumber) numbers_.add(t.id);
  counted_.push_back({line, t.amount, t.id, hasNumber});
}

std::vector<std::pair<std::string, Sum>> BatchTotals::rows() const {
  std::vector<std::pair<std::string, Sum>> rows = {
      {"transactions", transactions_}};
  for (std::size_t k = 0; k < kinds_.size(); ++k) {
    rows.emplace_back(EmpTrans::kinds()[k]->plural, kinds_[k]);
  }
  rows.emplace_back(kAmounts, amounts_);
  rows.emplace_back(kNumbers, numbers_);
  return rows;
}

std::vector<std::string> BatchTotals::names() {
  std::vector<std::string> names;
  for (const auto& [name, sum] : BatchTotals().rows()) names.push_back(name);
  return names;
}

BatchTotals::Holder BatchTotals::holding(const std::string& name,
                                         Sum::Magnitude difference) const {
  const bool amounts = name == kAmounts;
  if (!amounts && name != kNumbers) return {};
  for (const Counted& c : counted_) {
    if (!amounts && !c.hasNumber) continue;
    const std::int64_t value = amounts ? c.amount : c.number;
    if (Sum::Magnitude(value < 0 ? -value : value) == difference) {
      return {c.line, static_cast<std::int32_t>(value),
              Finding::fieldName(amounts ? Finding::Part::kAmount
                                         : Finding::Part::kNumber)};
    }
  }
  return {};
}
