#include "Replay.h"

#include <algorithm>
#include <cstring>

#include "Display.h"
#include "LittleEndian.h"

namespace {

constexpr std::size_t kRecord = Journal::kRecord;

using Failure = Journal::Failure;
constexpr const char* kEmployee = Employee::kFileName;

// Whether `now` is `newer` up to some byte and `older` from there on: a
// write of `newer` over `older` cut short, or either whole.
bool mixOf(const unsigned char* now, const unsigned char* newer,
           const unsigned char* older) {
  std::size_t head = 0, tail = 0;
  while (head < kRecord && now[head] == newer[head]) ++head;
  while (tail < kRecord &&
         now[kRecord - 1 - tail] == older[kRecord - 1 - tail]) {
    ++tail;
  }
  return head + tail >= kRecord;
}

std::string at(const Journal::Entry& e) {
  return "the record at byte " + std::to_string(e.position) + " (employee " +
         std::to_string(le32::get(e.after + Employee::kIdAt)) + ", line " +
         std::to_string(e.line) + " of emptrans.dat)";
}

// The first field in which `a` and `b` differ, named, with its value in
// each; empty when the records are equal.
std::string fieldDiffers(const unsigned char* a, const unsigned char* b) {
  Employee x, y;
  x.decode(a, kRecord);
  y.decode(b, kRecord);
  auto told = [](const char* field, const std::string& is,
                 const std::string& was) {
    return std::string("its ") + field + " is " + is + ", the run left " + was;
  };
  if (x.getId() != y.getId()) {
    return told("employee number", std::to_string(x.getId()),
                std::to_string(y.getId()));
  }
  if (x.getDeleted() != y.getDeleted()) {
    return told("deleted mark", std::to_string(x.getDeleted()),
                std::to_string(y.getDeleted()));
  }
  const std::string nx = Display::name(x.getNameField(), Employee::kNameBytes);
  const std::string ny = Display::name(y.getNameField(), Employee::kNameBytes);
  if (nx != ny) return told("name", '"' + nx + '"', '"' + ny + '"');
  if (std::memcmp(x.getNameField(), y.getNameField(), Employee::kNameBytes)) {
    return "the bytes of its name field after the name's end differ";
  }
  if (x.getCategory() != y.getCategory()) {
    return told("category", Display::category(x.getCategory()),
                Display::category(y.getCategory()));
  }
  if (x.getAmount() != y.getAmount()) {
    return told("amount", std::to_string(x.getAmount()),
                std::to_string(y.getAmount()));
  }
  return told("date", Display::date(x.getDate()), Display::date(y.getDate()));
}

}  // namespace

Replay::Replay(const Journal& journal)
    : header_(journal.header()), records_(journal.records()) {
  const std::vector<Journal::Entry>& records = records_;
  end_ = header_.fileBytes;
  if (end_ < 0 || end_ % Employee::kRecordBytes != 0) {
    throw Failure{journal.name(),
                  "damaged: its header gives employee.dat a size of " +
                      std::to_string(end_)};
  }
  for (const Journal::Entry& e : records) {
    const bool append = e.tag == Journal::Tag::kAppend;
    if (append ? e.position != end_
               : e.position < 0 || e.position % Employee::kRecordBytes != 0 ||
                     e.position + Employee::kRecordBytes > end_) {
      throw Failure{journal.name(),
                    "damaged: the entry at byte " + std::to_string(e.at) +
                        " writes where the run could not have written"};
    }
    if (append) end_ += Employee::kRecordBytes;
    appended_ += append ? 1 : 0;
  }
  byPosition_.resize(records.size());
  for (std::size_t i = 0; i < records.size(); ++i) byPosition_[i] = i;
  std::stable_sort(byPosition_.begin(), byPosition_.end(),
                   [&](std::size_t a, std::size_t b) {
                     return records[a].position < records[b].position;
                   });
  for (std::size_t i = 0; i < byPosition_.size(); ++i) {
    const Journal::Entry& e = records[byPosition_[i]];
    if (groups_.empty() ||
        records[byPosition_[groups_.back().first]].position != e.position) {
      groups_.push_back({i, i + 1});
      written_ += e.tag == Journal::Tag::kWrite ? 1 : 0;
      continue;
    }
    const Journal::Entry& prior = records[byPosition_[i - 1]];
    if (e.tag != Journal::Tag::kWrite ||
        std::memcmp(e.before, prior.after, kRecord) != 0) {
      throw Failure{journal.name(),
                    "damaged: the entry at byte " + std::to_string(e.at) +
                        " does not follow from the one before it"};
    }
    groups_.back().last = i + 1;
  }
}

Replay::Verdict Replay::checkSize(std::int64_t size, bool undoBegun) const {
  const std::int64_t least =
      undoBegun ? header_.fileBytes
      : !records_.empty() && records_.back().tag == Journal::Tag::kAppend
          ? records_.back().position
          : end_;
  Verdict v;
  if (size > end_) {
    v.mismatch =
        "employee.dat has grown since the run: it is " + std::to_string(size) +
        " bytes, the run left " + std::to_string(end_) +
        "; records were added after it, which must be taken back first";
  } else if (size < least) {
    v.mismatch = "employee.dat is " + std::to_string(size) +
                 " bytes, shorter than the " + std::to_string(end_) +
                 " the run left";
  }
  return v;
}

bool Replay::holds(const Group& g, const unsigned char* now, std::size_t have,
                   bool undoBegun, Last* last) const {
  const std::size_t lastIndex = byPosition_[g.last - 1];
  const Journal::Entry& top = records_[lastIndex];
  if (undoBegun) {
    // Any state the run or the undo left, or a write between two of them
    // cut short.
    const unsigned char* older = records_[byPosition_[g.first]].before;
    for (std::size_t i = g.first; i < g.last; ++i) {
      const unsigned char* newer = records_[byPosition_[i]].after;
      if (mixOf(now, newer, older) || mixOf(now, older, newer)) return true;
      older = newer;
    }
    return false;
  }
  const bool full = have == kRecord;
  if (full && std::memcmp(now, top.after, kRecord) == 0) {
    if (lastIndex + 1 == records_.size()) *last = Last::kDone;
    return true;
  }
  if (lastIndex + 1 != records_.size()) return false;
  if (top.tag == Journal::Tag::kAppend) {
    *last = have == 0 ? Last::kNotDone : Last::kTorn;
    return std::memcmp(now, top.after, have) == 0;
  }
  if (!full) return false;
  *last =
      std::memcmp(now, top.before, kRecord) == 0 ? Last::kNotDone : Last::kTorn;
  return mixOf(now, top.after, top.before);
}

Replay::Verdict Replay::check(RecordFile& file, bool undoBegun) const {
  const std::int64_t size = file.currentSize();
  if (size < 0) {
    throw Failure{kEmployee,
                  "cannot read: " + SystemCalls::errorText(file.error())};
  }
  // An undo cuts off the appends before it writes anything back: a file
  // longer than the run found has nothing written back yet and holds what
  // the run left, and records added since an undo cut it back are never
  // taken for the run's, to be cut off again.
  if (size > header_.fileBytes) undoBegun = false;
  Verdict v = checkSize(size, undoBegun);
  if (!v.mismatch.empty()) return v;
  unsigned char now[kRecord];
  for (const Group& g : groups_) {
    const Journal::Entry& top = records_[byPosition_[g.last - 1]];
    // What an undo cuts off needs no look.
    if (undoBegun && top.position >= header_.fileBytes) continue;
    const auto have = static_cast<std::size_t>(
        std::clamp<std::int64_t>(size - top.position, 0, kRecord));
    file.seek(top.position);
    if (file.read(now, have) != std::int64_t(have)) {
      throw Failure{kEmployee,
                    "cannot read: " + SystemCalls::errorText(file.error())};
    }
    if (holds(g, now, have, undoBegun, &v.last)) continue;
    v.mismatch = "employee.dat no longer holds what the run left in " +
                 at(top) + ": " +
                 (have < kRecord ? "it ends inside the record"
                  : undoBegun    ? "it holds what neither the run nor the undo "
                                   "wrote there"
                                 : fieldDiffers(now, top.after));
    return v;
  }
  return v;
}

void Replay::write(RecordFile& file, std::int64_t position,
                   const unsigned char* bytes) const {
  file.seek(position);
  if (file.write(bytes, kRecord) != kRecord) {
    throw Failure{kEmployee,
                  "cannot write: " + SystemCalls::errorText(file.error())};
  }
}

void Replay::undo(RecordFile& file) const {
  const std::int64_t size = file.currentSize();
  if (size < 0 ||
      (size > header_.fileBytes && !file.truncate(header_.fileBytes))) {
    throw Failure{kEmployee,
                  "cannot cut back: " + SystemCalls::errorText(file.error())};
  }
  for (auto e = records_.rbegin(); e != records_.rend(); ++e) {
    if (e->position < header_.fileBytes) write(file, e->position, e->before);
  }
}

void Replay::putBackLast(RecordFile& file) const {
  const Journal::Entry& e = records_.back();
  if (e.tag == Journal::Tag::kWrite) {
    write(file, e.position, e.before);
  } else if (!file.truncate(e.position)) {
    throw Failure{kEmployee,
                  "cannot cut back: " + SystemCalls::errorText(file.error())};
  }
}
