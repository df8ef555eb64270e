#include "Journal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Display.h"
#include "Hash64.h"
#include "LittleEndian.h"

namespace {

constexpr unsigned char kMagic[8] = {'E', 'M', 'P', 'J', 'R', 'N', 'L', '1'};
// Where the fields of an entry start.
constexpr std::size_t kTagAt = 0, kTextBytesAt = 4, kLineAt = 8,
                      kLastLineAt = 16, kPositionAt = 24, kBeforeAt = 32,
                      kAfterAt = 92, kTextHashAt = 152, kTextAt = 160;

std::uint32_t get32(const unsigned char* p) {
  return static_cast<std::uint32_t>(le32::get(p));
}

bool known(std::uint32_t tag) {
  return tag == 'W' || tag == 'A' || tag == 'U' || tag == 'D';
}

}  // namespace

Journal::~Journal() {
  if (lock_ >= 0) systemCalls.close(lock_);
}

std::string Journal::shown() const {
  return Display::name(name_.data(), name_.size());
}

void Journal::fail(const std::string& what, int error) const {
  throw Failure{shown(),
                what + (error != 0 ? ": " + SystemCalls::errorText(error)
                                   : std::string())};
}

void Journal::open(bool create) {
  if (!file_.open(name_.c_str(), RecordFile::Access::kReadWrite, create,
                  RecordFile::Check::kTypeFirst)) {
    fail("cannot open the journal", file_.error());
  }
  if (SystemCalls::kernelFile(file_.descriptor())) {
    fail("cannot open the journal", RecordFile::kNotRegularFile);
  }
}

void Journal::take() {
  lock_ = systemCalls.lock(file_.descriptor());
  if (lock_ < 0) {
    if (errno == EWOULDBLOCK) fail("the journal is in use by another run", 0);
    fail("cannot lock the journal", errno);
  }
  readAll();
}

void Journal::readAll() {
  const std::int64_t size = file_.currentSize();
  if (size < 0) fail("cannot read the journal", file_.error());
  unsigned char h[kHeaderBytes];
  file_.seek(0);
  const std::int64_t got = file_.read(h, sizeof h);
  if (got < 0) fail("cannot read the journal", file_.error());
  // A file of something else is never taken for a journal, and never
  // written over.
  if (std::memcmp(h, kMagic, std::min<std::size_t>(sizeof kMagic, got)) != 0 ||
      (got == kHeaderBytes && le64::get(h + 56) != Hash64::of(h, 56))) {
    fail("not a journal, or one damaged in its header", 0);
  }
  // Empty, or a header cut short: a run killed before its first entry,
  // which had touched nothing.
  if (got < kHeaderBytes) {
    tornAt_ = size > 0 ? 0 : -1;
    return;
  }
  started_ = true;
  header_ = {static_cast<std::int64_t>(le64::get(h + 8)),
             static_cast<std::int64_t>(le64::get(h + 16)), le64::get(h + 24),
             static_cast<std::int64_t>(le64::get(h + 32)), le64::get(h + 40)};
  std::int64_t at = kHeaderBytes;
  for (Entry e; at < size; at += kEntryBytes + std::int64_t(e.text.size())) {
    if (!readEntry(at, size, e)) break;
    if (e.tag == Tag::kUndoBegun) undoBegun_ = true;
    if (e.tag == Tag::kUndone) undone_ = true;
    if (e.tag == Tag::kWrite || e.tag == Tag::kAppend) records_.push_back(e);
  }
  end_ = at;
  tornAt_ = at < size ? at : -1;
}

bool Journal::readEntry(std::int64_t at, std::int64_t size, Entry& e) {
  unsigned char fixed[kTextAt];
  file_.seek(at);
  const std::int64_t got = file_.read(fixed, sizeof fixed);
  if (got < 0) fail("cannot read the journal", file_.error());
  const std::uint32_t textBytes = get32(fixed + kTextBytesAt);
  const std::int64_t whole = kEntryBytes + std::int64_t{textBytes};
  // Cut short: the last entry, torn by the end of the process that wrote
  // it. Whatever else fails to read is damage.
  if (got < std::int64_t(sizeof fixed) || at + whole > size) {
    if (got == std::int64_t(sizeof fixed) &&
        (!known(get32(fixed)) || textBytes > kTextKept)) {
      fail("damaged at byte " + std::to_string(at), 0);
    }
    return false;
  }
  if (textBytes > kTextKept) fail("damaged at byte " + std::to_string(at), 0);
  unsigned char rest[kTextKept + 8];
  if (file_.read(rest, textBytes + 8) != textBytes + 8) {
    fail("cannot read the journal", file_.error());
  }
  Hash64 check;
  check.add(fixed, sizeof fixed);
  check.add(rest, textBytes);
  // A write cut short by the end of its process leaves too few bytes, never
  // wrong ones.
  if (le64::get(rest + textBytes) != check.value() || !known(get32(fixed))) {
    fail("damaged at byte " + std::to_string(at), 0);
  }
  e.tag = static_cast<Tag>(get32(fixed + kTagAt));
  e.line = static_cast<std::int64_t>(le64::get(fixed + kLineAt));
  e.lastLine = static_cast<std::int64_t>(le64::get(fixed + kLastLineAt));
  e.position = static_cast<std::int64_t>(le64::get(fixed + kPositionAt));
  std::memcpy(e.before, fixed + kBeforeAt, kRecord);
  std::memcpy(e.after, fixed + kAfterAt, kRecord);
  e.textHash = le64::get(fixed + kTextHashAt);
  e.text.assign(reinterpret_cast<const char*>(rest), textBytes);
  e.at = at;
  return true;
}

void Journal::cutTo(std::int64_t size) {
  if (!file_.truncate(size)) fail("cannot write the journal", file_.error());
  end_ = size;
  tornAt_ = -1;
}

void Journal::start(const Header& hd) {
  unsigned char h[kHeaderBytes] = {};
  std::memcpy(h, kMagic, sizeof kMagic);
  le64::put(h + 8, static_cast<std::uint64_t>(hd.startLine));
  le64::put(h + 16, static_cast<std::uint64_t>(hd.batchBytes));
  le64::put(h + 24, hd.batchHash);
  le64::put(h + 32, static_cast<std::uint64_t>(hd.fileBytes));
  le64::put(h + 40, hd.fileHash);
  le64::put(h + 56, Hash64::of(h, 56));
  cutTo(0);
  file_.seek(0);
  if (file_.write(h, sizeof h) != sizeof h) {
    const int error = file_.error();
    file_.truncate(0);
    fail("cannot write the journal", error);
  }
  header_ = hd;
  started_ = true;
  end_ = kHeaderBytes;
}

void Journal::append(const Entry& e) {
  const std::size_t text = std::min<std::size_t>(e.text.size(), kTextKept);
  unsigned char b[kTextAt + kTextKept + 8];
  le32::put(b + kTagAt, static_cast<std::int32_t>(e.tag));
  le32::put(b + kTextBytesAt, static_cast<std::int32_t>(text));
  le64::put(b + kLineAt, static_cast<std::uint64_t>(e.line));
  le64::put(b + kLastLineAt, static_cast<std::uint64_t>(e.lastLine));
  le64::put(b + kPositionAt, static_cast<std::uint64_t>(e.position));
  std::memcpy(b + kBeforeAt, e.before, kRecord);
  std::memcpy(b + kAfterAt, e.after, kRecord);
  le64::put(b + kTextHashAt, e.textHash);
  std::memcpy(b + kTextAt, e.text.data(), text);
  le64::put(b + kTextAt + text, Hash64::of(b, kTextAt + text));
  const std::size_t n = kTextAt + text + 8;
  if (tornAt_ >= 0) cutTo(end_);
  file_.seek(end_);
  if (file_.write(b, n) != n) {
    const int error = file_.error();
    file_.truncate(end_);
    fail("cannot write the journal", error);
  }
  end_ += static_cast<std::int64_t>(n);
  if (e.tag == Tag::kUndoBegun) undoBegun_ = true;
  if (e.tag == Tag::kUndone) undone_ = true;
}

void Journal::dropLast() {
  cutTo(records_.back().at);
  records_.pop_back();
}
