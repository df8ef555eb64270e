#include "TextReport.h"

#include <cstdio>

#include "EmpTrans.h"

namespace {

std::string plural(long n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// What the run would apply before it ends, by each kind that occurs:
// "3 transactions would apply: 1 add, 2 changes".
std::string counts(const std::vector<long>& counts) {
  long total = 0;
  std::string each;
  for (std::size_t k = 0; k < counts.size(); ++k) {
    if (counts[k] == 0) continue;
    total += counts[k];
    const EmpTrans::Kind& kind = *EmpTrans::kinds()[k];
    each += (each.empty() ? ": " : ", ") + std::to_string(counts[k]) + " " +
            (counts[k] == 1 ? kind.name : kind.plural);
  }
  return plural(total, "transaction") + " would apply" + each;
}

}  // namespace

void TextReport::step(const Step& s) {
  std::printf("%s:%ld: %s\n", EmpTrans::kFileName, s.line, s.plan.c_str());
}

void TextReport::diagnostic(const Diagnostic& d) {
  std::string at = d.file;
  if (d.line > 0) at += ":" + std::to_string(d.line);
  if (d.column > 0) at += ":" + std::to_string(d.column);
  std::printf("%s: %s: %s\n", at.c_str(), d.severity, d.words.c_str());
}

void TextReport::summary(const Summary& s) {
  if (s.how == End::kCannotOpen) {
    std::printf(
        "no transaction would apply: empupdate would end with status 1, "
        "silently:\n%s",
        s.told.c_str());
    return;
  }
  std::printf("%s\n", counts(s.counts).c_str());
  if (s.how == End::kError) {
    std::printf("then the run would fail with:\n%s", s.told.c_str());
  } else if (s.how == End::kUnknownEmployee) {
    std::printf(
        "then the run would stop at line %ld of emptrans.dat: employee %d is "
        "not in employee.dat (\"%s\")\n",
        s.end.line, s.end.unknownId, s.told.c_str());
  } else {
    std::printf("then the run would end: no transaction is left\n");
  }
  if (s.end.mistakes > 0) {
    const std::string more = plural(s.end.mistakes, "more mistake");
    if (s.mistakes <= s.listed) {
      std::printf("%s after it, listed above\n", more.c_str());
    } else {
      std::printf("%s after it: %ld in all, the first %ld listed above\n",
                  more.c_str(), s.mistakes, s.listed);
    }
  }
  if (s.warnings > s.listed) {
    std::printf("%ld warnings in all, the first %ld listed above\n", s.warnings,
                s.listed);
  }
  if (s.totals != nullptr) totals(*s.totals);
}

void TextReport::totals(const Totals& t) {
  // The batch's as a control file writes them, so that they can be pasted
  // into one: a line it ignores says which lines they cover.
  if (t.from > 0) {
    std::printf("# the transactions from line %ld of emptrans.dat on\n",
                t.from);
  }
  for (const auto& [name, sum] : t.batch) {
    std::printf("%s %s\n", name.c_str(), sum.text().c_str());
  }
  if (!t.before || !t.after) return;
  const FileTotals both[] = {*t.before, *t.after};
  std::fputs(
      FileTotals::table(both, {"before", "after"}, Employee::kFileName).c_str(),
      stdout);
}
