#include "RepeatCheck.h"

#include <cstring>
#include <string_view>
#include <type_traits>

#include "RecordFile.h"

using Reason = Finding::Reason;

RepeatCheck::RepeatCheck() {
  RecordFile file;
  if (file.open(Employee::kFileName, RecordFile::Access::kRead, false,
                RecordFile::Check::kTypeFirst)) {
    records_ = file.facts().size / Employee::kRecordBytes;
  }
}

std::size_t RepeatCheck::KeyHash::operator()(const Key& k) const {
  static_assert(std::has_unique_object_representations_v<Key>);
  return std::hash<std::string_view>()(
      std::string_view(reinterpret_cast<const char*>(&k), sizeof k));
}

RepeatCheck::Key RepeatCheck::keyOf(const char* name, std::int32_t category,
                                    std::int32_t amount, const Date& date) {
  Key k{};
  // A name field without a NUL is whole: no add's name equals it.
  std::memcpy(k.name, name, strnlen(name, sizeof k.name));
  k.category = category;
  k.amount = amount;
  k.year = date.getYear();
  k.month = date.getMonth();
  k.day = date.getDay();
  return k;
}

RepeatCheck::Key RepeatCheck::keyOf(const Employee& e) {
  return keyOf(e.getNameField(), e.getCategory(), e.getAmount(), e.getDate());
}

void RepeatCheck::applied(const EmpTrans& t, const Reading& r,
                          const std::optional<Employee>& before) {
  if (first_ == 0) first_ = r.line();
  const bool open = stop_ < 0;
  if (EmpTrans::kinds()[t.kind()]->givesNumber) {
    adds_.push_back({keyOf(t.name, t.category, t.amount, t.date), r.line(),
                     r.note(Finding::Part::kType).column, open ? last_ : -1});
    if (open) last_ = r.line();
    return;
  }
  if (!before) return;
  const std::int32_t at = Employee::find(t.id);
  if (at >= 0 && at / Employee::kRecordBytes < records_ &&
      before->getDeleted() == 0) {
    images_.try_emplace(at, keyOf(*before));
  }
  if (!open) return;
  // Applied already when applying it changed no byte of its record (read
  // again, as it now is): a change to what the record holds, a delete of a
  // deleted one.
  const std::optional<Employee> now = t.recordBefore();
  unsigned char was[Employee::kRecordBytes], is[Employee::kRecordBytes];
  before->encode(was);
  if (now) now->encode(is);
  if (now && std::memcmp(was, is, sizeof was) == 0) {
    last_ = r.line();
  } else {
    stop_ = r.line();
  }
}

void RepeatCheck::failed(long line) {
  if (stop_ < 0) stop_ = line;
}

void RepeatCheck::ended() {
  if (stop_ < 0) stop_ = 0;
}

void RepeatCheck::scan(Matches& matches) const {
  RecordFile file;
  if (!file.open(Employee::kFileName, RecordFile::Access::kRead, false,
                 RecordFile::Check::kTypeFirst)) {
    return;
  }
  // The records the batch touched are walked beside the file, in the same
  // order, so that each is judged by its former fields.
  auto image = images_.begin();
  file.forEachRecord(
      Employee::kRecordBytes, records_,
      [&](const unsigned char* record, std::int64_t position) {
        Employee e;
        e.decode(record, Employee::kRecordBytes);
        const bool touched = image != images_.end() && image->first == position;
        if (!touched && e.getDeleted() != 0) return;
        const auto m = matches.find(touched ? (image++)->second : keyOf(e));
        if (m == matches.end()) return;
        if (!m->second.employee) m->second.employee = e.getId();
        ++m->second.live;
      });
}

long RepeatCheck::looksApplied(Matches& matches,
                               std::vector<Finding>& out) const {
  long last = last_, resume = stop_;
  for (const Add& a : adds_) {
    if (a.lastBefore < 0) break;
    // An add twice over a live employee held once ran once at most.
    if (matches.at(a.key).live-- == 0) {
      last = a.lastBefore;
      resume = a.line;
      break;
    }
  }
  // Only when the run got as far as a transaction that does not look
  // applied, or to the end, and the first one does.
  if (resume < 0 || last == 0) return 0;
  Finding f;
  f.reason = Reason::kLooksApplied;
  f.line = first_;
  f.lastLine = last;
  f.resumeLine = resume;
  out.push_back(f);
  return last;
}

std::vector<Finding> RepeatCheck::warnings() const {
  Matches matches;
  for (const Add& a : adds_) matches.try_emplace(a.key, Match{{}, a.line});
  if (!adds_.empty()) scan(matches);
  std::vector<Finding> out;
  // The adds among those are told in that warning.
  const long told = looksApplied(matches, out);
  for (const Add& a : adds_) {
    const Match& m = matches.at(a.key);
    if (a.line <= told || (!m.employee && m.firstAdd == a.line)) continue;
    Finding f;
    f.reason = Reason::kDuplicateAdd;
    f.line = a.line;
    f.column = a.column;
    if (m.employee) {
      f.value = *m.employee;
    } else {
      f.earlierLine = m.firstAdd;
    }
    out.push_back(f);
  }
  return out;
}
