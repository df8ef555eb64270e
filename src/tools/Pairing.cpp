#include "Pairing.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "LittleEndian.h"

namespace {

std::int32_t idOf(const unsigned char* record) {
  return le32::get(record + Employee::kIdAt);
}

bool same(const unsigned char* a, const unsigned char* b) {
  return std::memcmp(a, b, Employee::kRecordBytes) == 0;
}

// A NEW record's partner, as the paired index keeps it in an entry's id:
// the place of OLD's record when it is the first of OLD's holding its
// number, -(place + 2) when it is a later one, -1 when there is none.
constexpr std::int32_t kNone = -1;
std::int32_t later(std::int32_t at) { return -(at + 2); }
std::int32_t placeOf(std::int32_t partner) {
  return partner >= 0 ? partner : -(partner + 2);
}

}  // namespace

Pairing::Pairing(RecordReader& old, RecordReader& now) : old_(old), new_(now) {
  std::int32_t ignored = 0;
  streamed_ = ascends(old_, highest_) && ascends(new_, ignored);
  if (!streamed_) pairIndexes();
}

bool Pairing::ascends(RecordReader& r, std::int32_t& high) {
  bool up = true;
  high = 0;
  for (std::int64_t n = 0, last = 0; n < r.count(); ++n) {
    const std::int32_t id = idOf(r.record(n));
    if (n > 0 && id < last) up = false;
    high = std::max(high, id);
    last = id;
  }
  return up;
}

std::vector<Pairing::Entry> Pairing::indexOf(RecordReader& r) {
  std::vector<Entry> index;
  try {
    index.reserve(static_cast<std::size_t>(r.count()));
  } catch (const std::bad_alloc&) {
    throw RecordReader::Failure{r.name(),
                                "cannot index: not enough memory for " +
                                    std::to_string(r.count() * 8) + " bytes"};
  }
  for (std::int64_t n = 0; n < r.count(); ++n) {
    index.push_back({idOf(r.record(n)), static_cast<std::int32_t>(n)});
  }
  std::sort(index.begin(), index.end(), [](const Entry& a, const Entry& b) {
    return a.id != b.id ? a.id < b.id : a.at < b.at;
  });
  return index;
}

void Pairing::pairIndexes() {
  oldIndex_ = indexOf(old_);
  newIndex_ = indexOf(new_);
  std::size_t i = 0, j = 0, lone = 0;
  while (i < oldIndex_.size() || j < newIndex_.size()) {
    const bool hasOld = i < oldIndex_.size(), hasNew = j < newIndex_.size();
    if (hasOld && (!hasNew || oldIndex_[i].id < newIndex_[j].id)) {
      // Kept over an entry passed already, whose id `first` may still
      // read: only its place is overwritten.
      oldIndex_[lone++].at = oldIndex_[i++].at;
    } else if (!hasOld || newIndex_[j].id < oldIndex_[i].id) {
      newIndex_[j++].id = kNone;
    } else {
      const bool first = i == 0 || oldIndex_[i - 1].id != oldIndex_[i].id;
      const std::int32_t at = oldIndex_[i++].at;
      newIndex_[j++].id = first ? at : later(at);
    }
  }
  oldIndex_.resize(lone);
  lone_ = static_cast<std::int64_t>(lone);
  std::sort(oldIndex_.begin(), oldIndex_.end(),
            [](const Entry& a, const Entry& b) { return a.at < b.at; });
  // Each entry to its NEW record's place: the places are a permutation,
  // so that each swap puts one entry where it stays.
  for (std::size_t k = 0; k < newIndex_.size(); ++k) {
    while (newIndex_[k].at != static_cast<std::int32_t>(k)) {
      std::swap(newIndex_[k], newIndex_[newIndex_[k].at]);
    }
  }
}

void Pairing::visit(Visitor& v) {
  if (!streamed_) {
    visitIndexed(v);
    return;
  }
  stream(v, false);
  if (lone_ > 0) stream(v, true);
}

void Pairing::stream(Visitor& v, bool lone) {
  Employee before, after;
  std::int64_t i = 0, j = 0, lones = 0;
  std::int32_t lastOld = 0;
  while (i < old_.count() || j < new_.count()) {
    const unsigned char* o = i < old_.count() ? old_.record(i) : nullptr;
    const unsigned char* n = j < new_.count() ? new_.record(j) : nullptr;
    if (o != nullptr && (n == nullptr || idOf(o) < idOf(n))) {
      ++lones;
      if (lone) {
        before.decode(o, Employee::kRecordBytes);
        v.removed(before);
      }
    } else if (o == nullptr || idOf(n) < idOf(o)) {
      if (!lone) {
        after.decode(n, Employee::kRecordBytes);
        v.paired(nullptr, after, false, j);
      }
    } else if (!lone && !same(o, n)) {
      before.decode(o, Employee::kRecordBytes);
      after.decode(n, Employee::kRecordBytes);
      v.paired(&before, after, i == 0 || lastOld != idOf(o), j);
    }
    if (o != nullptr && (n == nullptr || idOf(o) <= idOf(n))) {
      lastOld = idOf(o);
      ++i;
    }
    if (n != nullptr && (o == nullptr || idOf(n) <= idOf(o))) ++j;
  }
  lone_ = lones;
}

void Pairing::visitIndexed(Visitor& v) {
  Employee before, after;
  for (std::int64_t j = 0; j < new_.count(); ++j) {
    const std::int32_t partner = newIndex_[static_cast<std::size_t>(j)].id;
    const unsigned char* n = new_.record(j);
    if (partner == kNone) {
      after.decode(n, Employee::kRecordBytes);
      v.paired(nullptr, after, false, j);
      continue;
    }
    const unsigned char* o = old_.record(placeOf(partner));
    if (same(o, n)) continue;
    before.decode(o, Employee::kRecordBytes);
    after.decode(n, Employee::kRecordBytes);
    v.paired(&before, after, partner >= 0, j);
  }
  for (const Entry& e : oldIndex_) {
    before.decode(old_.record(e.at), Employee::kRecordBytes);
    v.removed(before);
  }
}
