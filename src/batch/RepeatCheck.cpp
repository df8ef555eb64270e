#include "RepeatCheck.h"

#include <bit>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <vector>

#include "LittleEndian.h"
#include "RecordFile.h"

using Reason = Finding::Reason;

namespace {

// Which records may equal one of a set of keys, told from the bytes of a
// record as they lie in the file: its amount first, then the first 16
// bytes of its name, up to its NUL, with its category, amount and date,
// fields that are compared as they are stored. No record that equals a key
// is turned away; of the others, about one in eight passes each test. So a
// scan of a large file decodes only the few records worth comparing, and
// most cost it a load and a bit test.
class FieldFilter {
 public:
  explicit FieldFilter(std::size_t keys) : amounts_(keys), fields_(keys) {}

  // A record that holds these fields, the date as year, month and day.
  void add(const char* name, const std::int32_t (&values)[5]) {
    unsigned char record[Employee::kRecordBytes] = {};
    std::memcpy(record + Employee::kNameAt, name, Employee::kNameBytes);
    for (std::size_t i = 0; i < 5; ++i) {
      le32::put(record + Employee::kCategoryAt + 4 * i, values[i]);
    }
    amounts_.set(amountHash(record));
    fields_.set(fieldsHash(record));
  }

  // Whether `record` may equal a key added.
  bool mayHold(const unsigned char* record) const {
    return amounts_.has(amountHash(record)) && fields_.has(fieldsHash(record));
  }

 private:
  // A set of hashes, told by their top bits: at least 8 bits for each
  // hash put in, so that a hash not put in is found there by chance at
  // most about one time in eight.
  class Bits {
   public:
    explicit Bits(std::size_t hashes) {
      while (bits_ < 60 && (std::size_t{1} << bits_) < 8 * hashes) ++bits_;
      words_.assign((std::size_t{1} << bits_) / 64 + 1, 0);
    }
    void set(std::uint64_t h) {
      words_[(h >> (64 - bits_)) / 64] |= std::uint64_t{1}
                                          << (h >> (64 - bits_)) % 64;
    }
    bool has(std::uint64_t h) const {
      const std::uint64_t at = h >> (64 - bits_);
      return (words_[at / 64] >> (at % 64) & 1) != 0;
    }

   private:
    unsigned bits_ = 10;
    std::vector<std::uint64_t> words_;
  };

  static std::uint64_t amountHash(const unsigned char* record) {
    return std::uint64_t{static_cast<std::uint32_t>(
               le32::get(record + Employee::kAmountAt))} *
           0x9E3779B97F4A7C15u;
  }

  // The 8 bytes at p, as a little-endian word, with those from the first
  // NUL on cleared; `ended` tells whether there was one.
  static std::uint64_t upToNul(const unsigned char* p, bool& ended) {
    const std::uint64_t w = le64::get(p);
    const std::uint64_t zero =
        (w - 0x0101010101010101u) & ~w & 0x8080808080808080u;
    ended = zero != 0;
    // The lowest byte flagged is the first NUL.
    return ended ? w & ((std::uint64_t{1} << (std::countr_zero(zero) - 7)) - 1)
                 : w;
  }

  static std::uint64_t fieldsHash(const unsigned char* record) {
    bool ended = false;
    const std::uint64_t first = upToNul(record + Employee::kNameAt, ended);
    const std::uint64_t second =
        ended ? 0 : upToNul(record + Employee::kNameAt + 8, ended);
    const unsigned char* fields = record + Employee::kCategoryAt;
    const std::uint64_t h =
        (first ^ (second * 0x9FB21C651E98DF25u) ^
         (le64::get(fields) * 0xC2B2AE3D27D4EB4Fu) ^
         (le64::get(fields + 8) * 0x165667B19E3779F9u) ^
         (std::uint64_t{static_cast<std::uint32_t>(le32::get(fields + 16))} *
          0x27D4EB2F165667C5u)) *
        0xD6E8FEB86659FD93u;
    return h ^ h >> 29;
  }

  Bits amounts_, fields_;
};

}  // namespace

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
  FieldFilter filter(matches.size());
  for (const auto& [key, match] : matches) {
    filter.add(key.name,
               {key.category, key.amount, key.year, key.month, key.day});
  }
  // The records the batch touched are walked beside the file, in the same
  // order, so that each is judged by its former fields.
  auto image = images_.begin();
  file.forEachRecord(
      Employee::kRecordBytes, records_,
      [&](const unsigned char* record, std::int64_t position) {
        const bool touched = image != images_.end() && image->first == position;
        if (!touched && !filter.mayHold(record)) return;
        Employee e;
        e.decode(record, Employee::kRecordBytes);
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
