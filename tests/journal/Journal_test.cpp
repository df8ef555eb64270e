// The journal's file and its replay: what a run killed at any moment can
// leave (a torn last entry, a record torn between its old and new bytes)
// is told apart from damage and from a record changed since; an undo cut
// short is finished by another; the text and hashes a resume compares.
#include "Journal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>

#include "Hash64.h"
#include "LineTape.h"
#include "Replay.h"
#include "ScratchDir.h"

namespace {

using Tag = Journal::Tag;

// A record whose bytes are all `fill`, but the amount field, `amount`.
std::string record(char fill, char amount = 0) {
  std::string r(60, fill);
  r[Employee::kAmountAt] = amount != 0 ? amount : fill;
  return r;
}
const std::string kO0 = record('a'), kO1 = record('b'), kB = record('c'),
                  kC = record('d'), kD = record('e');

Journal::Entry entry(Tag tag, std::int64_t at, const std::string& before,
                     const std::string& after) {
  Journal::Entry e;
  e.tag = tag;
  e.line = e.lastLine = 1 + at / 60;
  e.position = at;
  std::memcpy(e.before, before.data(), before.size());
  std::memcpy(e.after, after.data(), 60);
  return e;
}

// A run on a file of two records: record 0 written (O0 -> B), an append
// (C), and record 1 written last (O1 -> D).
void writeJournal() {
  Journal j("j");
  j.open(true);
  j.take();
  j.start({1, 0, 0, 120, 0});
  j.append(entry(Tag::kWrite, 0, kO0, kB));
  j.append(entry(Tag::kAppend, 120, "", kC));
  j.append(entry(Tag::kWrite, 60, kO1, kD));
}

struct Checked {
  std::string mismatch;
  Replay::Last last;
};

Checked check(const std::string& file, bool undoBegun = false) {
  ScratchDir::put("employee.dat", file);
  Journal j("j");
  j.open(false);
  j.take();
  const Replay replay(j);
  RecordFile f;
  f.open("employee.dat", RecordFile::Access::kRead, false);
  const Replay::Verdict v = replay.check(f, undoBegun);
  return {v.mismatch, v.last};
}

TEST(Replay, TellsHowFarTheLastWriteGotFromAChangeSince) {
  ScratchDir dir;
  writeJournal();
  const std::string torn = kD.substr(0, 17) + kO1.substr(17);
  const struct {
    std::string file;
    Replay::Last last;
    const char* mismatch;
  } rows[] = {
      {kB + kD + kC, Replay::Last::kDone, ""},
      {kB + kO1 + kC, Replay::Last::kNotDone, ""},
      {kB + torn + kC, Replay::Last::kTorn, ""},
      {kB + record('e', 'x') + kC, Replay::Last::kNone, "its amount is"},
      {record('c', 'x') + kD + kC, Replay::Last::kNone,
       "byte 0 (employee 1667457891, line 1 of emptrans.dat): its amount is"},
      {kB + kD + kC + kC, Replay::Last::kNone, "has grown since the run"},
      {kB + kD, Replay::Last::kNone, "shorter than the 180 the run left"},
  };
  for (const auto& row : rows) {
    const Checked c = check(row.file);
    EXPECT_NE(c.mismatch.find(row.mismatch), std::string::npos) << c.mismatch;
    if (row.mismatch[0] == '\0') {
      EXPECT_EQ(c.last, row.last);
    }
  }
}

TEST(Replay, AnUndoCutShortIsFinishedByAnother) {
  ScratchDir dir;
  writeJournal();
  // Record 1 restored, record 0 half restored, the append cut off.
  const std::string halfway = kO0.substr(0, 30) + kB.substr(30);
  EXPECT_EQ(check(halfway + kO1, true).mismatch, "");
  EXPECT_NE(check(halfway + kO1).mismatch, "");  // not before an undo began
  EXPECT_NE(check(record('z') + kO1, true).mismatch, "");
  // Begun, but nothing cut off or written back yet; and a record added
  // after the undo cut the file back.
  EXPECT_EQ(check(kB + kD + kC, true).mismatch, "");
  EXPECT_NE(check(halfway + kO1 + kC, true).mismatch, "");
  Journal j("j");
  j.open(false);
  j.take();
  RecordFile f;
  f.open("employee.dat", RecordFile::Access::kReadWrite, false);
  Replay(j).undo(f);
  EXPECT_EQ(ScratchDir::get("employee.dat"), kO0 + kO1);
}

TEST(Journal, TornTailIsSetAsideDamageAndStrangersRefused) {
  ScratchDir dir;
  writeJournal();
  const std::string whole = ScratchDir::get("j");
  auto open = [](const std::string& bytes) -> std::string {
    ScratchDir::put("j", bytes);
    Journal j("j");
    try {
      j.open(false);
      j.take();
    } catch (const Journal::Failure& f) {
      return f.words;
    }
    return std::to_string(j.records().size()) +
           (j.started() ? " started" : "") + (j.tornAt() >= 0 ? " torn" : "");
  };
  EXPECT_EQ(open(whole), "3 started");
  EXPECT_EQ(open(whole.substr(0, whole.size() - 9)), "2 started torn");
  EXPECT_EQ(open(whole.substr(0, 20)), "0 torn");
  std::string flipped = whole;
  flipped[64 + 100] ^= 1;
  EXPECT_EQ(open(flipped), "damaged at byte 64");
  EXPECT_EQ(open("hello, world\n"),
            "not a journal, or one damaged in its header");
  EXPECT_EQ(ScratchDir::get("j"), "hello, world\n");
  // A record entry that does not follow from the one before it.
  ScratchDir::put("j", "");
  {
    Journal j("j");
    j.open(false);
    j.take();
    j.start({1, 0, 0, 60, 0});
    j.append(entry(Tag::kWrite, 0, kO0, kB));
    j.append(entry(Tag::kWrite, 0, kC, kD));
  }
  Journal again("j");
  again.open(false);
  try {
    again.take();
    const Replay replay(again);
    ADD_FAILURE() << "an entry that does not follow is taken";
  } catch (const Journal::Failure& f) {
    EXPECT_NE(f.words.find("does not follow"), std::string::npos);
  }
}

TEST(LineTape, GivesLinesAsTheyStandAndHashesPiecesAsAWhole) {
  ScratchDir dir;
  ScratchDir::put("t", "A 1\r\nC 2\n  \"x\"\nD 3");
  const int fd = ::open("t", O_RDONLY);
  LineTape tape(fd);
  std::string kept;
  const struct {
    long first, last;
    const char* text;
  } rows[] = {{1, 1, "A 1\r"}, {2, 3, "C 2\n  \"x\""}, {3, 3, "  \"x\""},
              {4, 4, "D 3"},   {1, 2, "A 1\r\nC 2"},   {5, 5, ""}};
  for (const auto& row : rows) {
    EXPECT_EQ(tape.lines(row.first, row.last, kept, 6),
              Hash64::of(row.text, std::strlen(row.text)));
    EXPECT_EQ(kept, std::string(row.text).substr(0, 6));
  }
  // A line longer than the tape's block.
  const std::string longLine(70000, 'x');
  ScratchDir::put("long", "A\n" + longLine + "\nB");
  const int longFd = ::open("long", O_RDONLY);
  LineTape longTape(longFd);
  EXPECT_EQ(longTape.lines(2, 3, kept, 4),
            Hash64::of((longLine + "\nB").data(), longLine.size() + 2));
  ::close(longFd);
  std::int64_t bytes;
  EXPECT_EQ(tape.whole(bytes), Hash64::of("A 1\r\nC 2\n  \"x\"\nD 3", 18));
  EXPECT_EQ(bytes, 18);
  ::close(fd);
  std::mt19937 r(34);
  std::string data(1000, '\0');
  for (char& c : data) c = static_cast<char>(r());
  for (int round = 0; round < 50; ++round) {
    Hash64 h;
    for (std::size_t at = 0, n; at < data.size(); at += n) {
      n = std::min<std::size_t>(r() % 70, data.size() - at);
      h.add(data.data() + at, n);
    }
    EXPECT_EQ(h.value(), Hash64::of(data.data(), data.size()));
  }
  EXPECT_NE(Hash64::of("ab", 2), Hash64::of("ba", 2));
}

}  // namespace
