// The edit run as a property of random batches: a batch with a few typos,
// each in its own transaction, gets from empcheck one mistake per typo, in
// file order, each where empupdate stops once the typos before it are
// fixed, which names the transaction's first line to resume from; the
// first in empupdate's words, with the matching status. With every typo
// fixed, both programs pass it, and empdump --totals of the file it leaves
// is the after column of empcheck --totals. 25 batches by default,
// EMP_EDIT_RUN_BATCHES=N for N, from seed 1 or EMP_EDIT_RUN_SEED; a
// failure shows the seed and the batch.
//
// The same batches, typos fixed, drive empdiff: between the file before a
// run and after it, it tells each change the plan of empcheck --list
// foretold; and the batch empdiff --batch writes makes the one into the
// other, or it tells each edit of the file after the run that no batch can
// make.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <numeric>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Employee.h"
#include "RecordText.h"
#include "RunProgram.h"
#include "ScratchDir.h"

namespace {

// The fields of each type letter, by role: Type, Number, name, category,
// amount, date.
std::string roles(const std::string& type) {
  return type == "A" ? "Tncad" : type == "C" ? "TNncad" : "TN";
}

// A typo of typos.txt (see there).
struct Typo {
  std::string name, types;
  char role;
  std::string text;
};

std::vector<Typo> readTypos() {
  std::ifstream in(EMP_TYPOS);
  std::vector<Typo> typos;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const auto colon = line.find(':');
    std::istringstream fields(line.substr(colon + 1));
    Typo& t = typos.emplace_back();
    t.name = line.substr(0, colon);
    fields >> t.types >> t.role >> std::ws;
    std::getline(fields, t.text);
  }
  return typos;
}
const std::vector<Typo> kTypos = readTypos();

struct Trans {
  // Its fields, each after its separator (a blank, or a line end and an
  // indent), the type letter first.
  std::vector<std::string> fields;
  const Typo* typo = nullptr;
  long line = 0, lines = 0;  // set by render
};

// Adds, changes and deletes (of employees 1 to 50 and of those the adds
// before give), some over 2 or 3 lines, with 1 to 8 typos. A change or
// delete names no number that empcheck, leaving out the adds with a typo
// before it, would give to no employee, and no change a deleted one; an
// add has a name and an amount. Names start with A, C and D, which a line
// that starts with one unquoted could be taken for.
std::vector<Trans> generate(unsigned seed) {
  std::mt19937 r(seed);
  auto pick = [&](std::vector<std::string> v) { return v[r() % v.size()]; };
  std::vector<Trans> batch(30 + r() % 31);
  std::vector<bool> faulty(batch.size());
  for (unsigned k = 1 + r() % 8; k > 0;)
    if (const auto i = r() % batch.size(); !faulty[i]) faulty[i] = true, --k;
  unsigned high = 50;
  std::set<std::string> deleted;
  for (std::size_t i = 0; i < batch.size(); ++i) {
    std::string type = pick({"A", "C", "D"});
    const unsigned y = 1950 + r() % 100, m = 1 + r() % 12, d = 1 + r() % 28;
    const std::string id = std::to_string(
        high > 50 && r() % 2 ? 51 + r() % (high - 50) : 1 + r() % 50);
    if (type == "C" && deleted.count(id)) type = "D";
    if (type == "D") deleted.insert(id);
    const std::string name =
        '"' +
        pick({"Ada Cole", "Carla Diaz", "Dan", "Bo", type == "A" ? "Bo" : ""}) +
        '"';
    const std::string category = pick({"S", "H", "*"});
    const std::string amount = std::to_string(1 + r() % 3000);
    const std::string date = type == "C" && r() % 3 == 0
                                 ? "1901/1/1"
                                 : std::to_string(y) + "/" + std::to_string(m) +
                                       "/" + std::to_string(d);
    const std::string field[] = {type, id, name, category, amount, date};
    auto& f = batch[i].fields;
    for (const char role : roles(type))
      f.push_back((f.empty() ? "" : " ") +
                  field[std::string("TNncad").find(role)]);
    // A name or a later field starts a continuation line; the number stays
    // on the type letter's line.
    const unsigned breaks = type == "D" ? 0 : r() % 3;
    for (unsigned b = 0; b < breaks; ++b)
      f[f.size() - 1 - r() % (f.size() - (type == "A" ? 1 : 2))].replace(
          0, 1, pick({"\n", "\n  "}));
    for (auto& t = batch[i].typo;
         faulty[i] &&
         (t == nullptr || t->types.find(type) == std::string::npos ||
          (breaks > 0 && t->role == 'T' && t->text != "lower"));)
      t = &kTypos[r() % kTypos.size()];
    high += type == "A" && !faulty[i];
  }
  return batch;
}

// emptrans.dat, the typos from the `present`-th on made.
std::string render(std::vector<Trans>& batch, std::size_t present) {
  std::string text;
  std::size_t typos = 0;
  for (Trans& t : batch) {
    auto f = t.fields;
    if (t.typo != nullptr && typos++ >= present) {
      std::string& at = f[roles(f[0]).find(t.typo->role)];
      const std::size_t cut = at.find_first_not_of("\n ");
      const std::string sep = at.substr(0, cut), old = at.substr(cut);
      std::string made = t.typo->text;
      if (made == "lower") made = old == "A" ? "a" : old == "C" ? "c" : "d";
      if (const auto k = made.find('%'); k != made.npos)
        made.replace(k, 1, old.substr(1, old.size() - 2));
      if (const auto k = made.find('@'); k != made.npos)
        made.replace(k, 1, old);
      at = sep + made;
    }
    t.line = 1 + std::count(text.begin(), text.end(), '\n');
    for (const std::string& s : f) text += s;
    t.lines = 2 + std::count(text.begin(), text.end(), '\n') - t.line;
    text += "\n";
  }
  return text;
}

// Runs each of `programs` in turn on the batch `trans`, in one directory.
std::vector<ProgramResult> runAll(
    const std::vector<std::vector<std::string>>& programs,
    const std::string& trans) {
  ScratchDir dir;
  std::string employees;
  for (int i = 1; i <= 50; ++i)
    employees += std::to_string(i) + " 0 \"e\" 0 1 2000/1/1\n";
  ScratchDir::put("employee.dat", record_text::toBytes(employees));
  ScratchDir::put("emptrans.dat", trans);
  std::vector<ProgramResult> results;
  for (const auto& argv : programs) results.push_back(runProgram(argv, "."));
  return results;
}

ProgramResult run(const char* program, const std::string& trans) {
  return runAll({{program}}, trans)[0];
}

// The LABEL VALUE lines of a table of file totals, the last column's values.
std::string lastColumn(const std::string& table) {
  const std::regex row(
      R"((?:^|\n)([a-z]+(?: \S+)?) +(?:-?\d+ +)?(-?\d+)(?=\n))");
  std::string rows;
  for (std::sregex_iterator m(table.begin(), table.end(), row), e; m != e; ++m)
    rows += m->str(1) + " " + m->str(2) + "\n";
  return rows;
}

// The seeds of the batches: 25 from 1, or as the environment says.
std::vector<unsigned> seeds() {
  const char* n = std::getenv("EMP_EDIT_RUN_BATCHES");
  const char* from = std::getenv("EMP_EDIT_RUN_SEED");
  std::vector<unsigned> all(n ? std::stoul(n) : 25);
  std::iota(all.begin(), all.end(), from ? std::stoul(from) : 1);
  return all;
}

TEST(EditRunProperty, EachTypoListedOnceWhereTheRunStopsAtIt) {
  const std::regex stop(
      R"(^empupdate:emptrans\.dat:(\d+:\d+): (.*); \d+ trans)"),
      listing(R"((?:^|\n)emptrans\.dat:(\d+:\d+): error: (.*))");
  ASSERT_GT(kTypos.size(), 20U) << "no typos read from " EMP_TYPOS;
  for (const unsigned seed : seeds()) {
    std::vector<Trans> batch = generate(seed);
    const std::string text = render(batch, 0);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", emptrans.dat:\n" + text);
    std::string named, expected, listed;
    std::string first, told;  // the first mistake's status and words
    std::size_t typos = 0;
    for (const Trans& t : batch) {
      if (t.typo == nullptr) continue;
      const ProgramResult r = run(EMPUPDATE_PATH, render(batch, typos++));
      const bool unknown = t.typo->name == "unknown employee";
      const std::string id = t.typo->text;
      std::smatch m;
      std::regex_search(r.err, m, stop);
      const std::string at = unknown ? std::to_string(t.line) + ":3" : m.str(1);
      EXPECT_EQ(r.status, unknown ? 0 : 2) << r.err;
      const long line = std::atol(at.c_str());
      const std::string resume = "; resume with --from " +
                                 std::to_string(t.line) + " once it is fixed\n";
      EXPECT_TRUE(unknown ? r.err.ends_with("invalid employee: " + id)
                          : line >= t.line && line < t.line + t.lines &&
                                r.err.ends_with(resume))
          << t.typo->name << " on line " << t.line << ": " << r.err;
      named += t.typo->name + " (" + at + "), ";
      expected += at + " ";
      if (typos == 1)
        first = unknown ? "3 employee " + id + " is not in employee.dat"
                        : "2 " + m.str(2);
    }
    const ProgramResult check = run(EMPCHECK_PATH, text);
    for (std::sregex_iterator m(check.out.begin(), check.out.end(), listing), e;
         m != e; ++m) {
      if (listed.empty()) told = std::to_string(check.status) + " " + m->str(2);
      listed += m->str(1) + " ";
    }
    EXPECT_EQ(listed, expected) << named << "\n" << check.out;
    EXPECT_EQ(told, first);
    const std::string fixed = render(batch, typos);
    EXPECT_EQ(run(EMPCHECK_PATH, fixed).status, 0);
    const auto r = runAll({{EMPCHECK_PATH, "--totals"},
                           {EMPUPDATE_PATH},
                           {EMPDUMP_PATH, "--totals"}},
                          fixed);
    EXPECT_EQ(r[1].status, 0);
    EXPECT_EQ(r[1].err, "");
    const std::string after = r[0].out.substr(r[0].out.find("\nemployee.dat"));
    EXPECT_EQ(lastColumn(after), lastColumn("\n" + r[2].out)) << r[0].out;
    EXPECT_NE(lastColumn(r[2].out), "");
  }
}

// Employees 1 to 50 as employee.dat, in a shuffled order for an odd seed,
// and the batch of `seed`, its typos fixed; `once`: a change or delete of
// an employee touched before is left out. Returns the file's bytes.
std::string layOut(unsigned seed, bool once) {
  std::vector<Trans> batch = generate(seed), kept;
  std::set<std::string> touched;
  int added = 50;
  for (Trans& t : batch) {
    t.typo = nullptr;
    const std::string id =
        t.fields[0] == "A" ? std::to_string(++added) : t.fields[1].substr(1);
    if (!once || touched.insert(id).second) kept.push_back(t);
  }
  std::vector<int> ids(50);
  std::iota(ids.begin(), ids.end(), 1);
  if (seed % 2) std::shuffle(ids.begin(), ids.end(), std::mt19937(seed));
  std::string employees;
  for (const int i : ids)
    employees += std::to_string(i) + " 0 \"e\" 0 1 2000/1/1\n";
  ScratchDir::put("employee.dat", record_text::toBytes(employees));
  ScratchDir::put("emptrans.dat", render(kept, 0));
  return ScratchDir::get("employee.dat");
}

std::multiset<std::string> linesOf(const std::string& text) {
  std::multiset<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.insert(line);
  return lines;
}

TEST(EditRunProperty, EmpdiffTellsWhatThePlanForetold) {
  const std::regex step(R"(^emptrans\.dat:\d+: ((?:add|change|delete) .*))");
  for (const unsigned seed : seeds()) {
    ScratchDir dir;
    ScratchDir::put("old.dat", layOut(seed, true));
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::multiset<std::string> foretold;
    std::smatch m;
    for (const std::string& line :
         linesOf(runProgram({EMPCHECK_PATH, "--list"}, ".").out)) {
      if (std::regex_match(line, m, step) &&
          !line.ends_with(": nothing changes") &&
          !line.ends_with(": already deleted"))
        foretold.insert(m.str(1));
    }
    ASSERT_EQ(runProgram({EMPUPDATE_PATH}, ".").status, 0);
    const ProgramResult d =
        runProgram({EMPDIFF_PATH, "old.dat", "employee.dat"}, ".");
    EXPECT_EQ(d.status, foretold.empty() ? 0 : 1) << d.err;
    EXPECT_EQ(linesOf(d.out), foretold);
  }
}

// An edit of one of the 50 employees' records in the file after a run: a
// 32-bit value put at `at`, or, at kGone, the record taken out, and what
// empdiff --batch tells of it when no batch can make it.
constexpr std::size_t kGone = Employee::kRecordBytes;
struct Edit {
  std::size_t at;
  std::int32_t value;
  const char* told;
};
const Edit kEdits[] = {
    {Employee::kAmountAt, 0, "an amount of 0"},
    {Employee::kAmountAt, 77, nullptr},
    {Employee::kCategoryAt, 5, "category 5"},
    {Employee::kCategoryAt, -1, "category *"},
    {Employee::kDeletedAt, 7, "mark to 7"},
    {Employee::kDeletedAt, 1, nullptr},
    {Employee::kDateAt, 2100, "date 2100-"},
    {Employee::kDateAt, 1901, "date 1901-"},
    {Employee::kNameAt, 0, "empty name"},
    {Employee::kNameAt + 1, '"', "double quote"},
    {Employee::kNameAt + 1, '\r', nullptr},  // a name's bytes as they are
    {Employee::kNameAt + 20, -1, nullptr},   // past the NUL: no change
    {kGone, 0, "remove a record"},
};

TEST(EditRunProperty, EmpdiffBatchMakesTheFileOrTellsWhyNot) {
  const std::regex told(
      R"(^empdiff: [a-z]+ (\d+)(?: \(deleted\))?: the transactions cannot (.*))");
  for (const unsigned seed : seeds()) {
    ScratchDir dir;
    const std::string old = layOut(seed, false);
    ASSERT_EQ(runProgram({EMPUPDATE_PATH}, ".").status, 0);
    std::string now = ScratchDir::get("employee.dat");
    std::mt19937 r(seed);
    std::map<std::string, const char*> edits;  // by employee number
    // Up to 3 of the first 50 records, OLD's, the last first: one taken
    // out moves none still to edit.
    std::vector<std::size_t> at(50);
    std::iota(at.begin(), at.end(), 0);
    std::shuffle(at.begin(), at.end(), r);
    at.resize(r() % 4);
    std::sort(at.rbegin(), at.rend());
    for (const std::size_t k : at) {
      const Edit& e = kEdits[r() % std::size(kEdits)];
      char* record = now.data() + k * kGone;
      edits[std::to_string(record[0])] = e.told;  // numbers 1 to 50
      if (e.at == kGone) now.erase(k * kGone, kGone);
      for (int i = 0; i < 4 && e.at < kGone; ++i)
        record[e.at + i] = char(std::uint32_t(e.value) >> 8 * i);
    }
    // The order of NEW's records makes no difference.
    if (seed % 4 == 3)
      for (std::size_t i = now.size() / kGone; i > 1; --i)
        std::swap_ranges(now.begin() + (i - 1) * kGone, now.begin() + i * kGone,
                         now.begin() + r() % i * kGone);
    ScratchDir::put("new.dat", now);
    ScratchDir::put("employee.dat", old);
    const ProgramResult b =
        runProgram({EMPDIFF_PATH, "--batch", "employee.dat", "new.dat"}, ".");
    SCOPED_TRACE("seed " + std::to_string(seed) + ":\n" + b.err);
    std::size_t cannot = 0;
    for (const auto& [number, words] : edits) cannot += words != nullptr;
    std::smatch m;
    for (const std::string& line : linesOf(b.err)) {
      ASSERT_TRUE(std::regex_match(line, m, told)) << line;
      const char* words = edits.count(m.str(1)) ? edits[m.str(1)] : nullptr;
      EXPECT_TRUE(words && m.str(2).find(words) != std::string::npos) << line;
    }
    EXPECT_EQ(linesOf(b.err).size(), cannot);
    if (cannot > 0) {
      EXPECT_EQ(b.status, 2);
      EXPECT_EQ(b.out, "");
      continue;
    }
    ScratchDir::put("emptrans.dat", b.out);
    EXPECT_EQ(runProgram({EMPUPDATE_PATH}, ".").status, 0);
    EXPECT_EQ(runProgram({EMPDIFF_PATH, "employee.dat", "new.dat"}, ".").status,
              0)
        << b.out;
  }
}

}  // namespace

// A journalled run stopped at each typo and run again once it is fixed
// makes the file a whole run of the fixed batch makes; run once more, it
// applies nothing; and empundo then gives back the file as it was.
TEST(EditRunProperty, JournalledRunResumedAtEachTypoThenTakenBack) {
  const char* n = std::getenv("EMP_EDIT_RUN_BATCHES");
  const char* from = std::getenv("EMP_EDIT_RUN_SEED");
  const unsigned first = from ? std::stoul(from) : 1;
  for (unsigned seed = first; seed < first + (n ? std::stoul(n) : 25); ++seed) {
    std::vector<Trans> batch = generate(seed);
    std::size_t typos = 0;
    for (const Trans& t : batch) typos += t.typo != nullptr;
    const std::string fixed = render(batch, typos);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", emptrans.dat:\n" + fixed);
    const std::string whole =
        runAll({{EMPUPDATE_PATH}, {"/bin/cat", "employee.dat"}}, fixed)[1].out;
    ScratchDir dir;
    std::string employees;
    for (int i = 1; i <= 50; ++i)
      employees += std::to_string(i) + " 0 \"e\" 0 1 2000/1/1\n";
    const std::string before = record_text::toBytes(employees);
    ScratchDir::put("employee.dat", before);
    for (std::size_t present = 0; present <= typos; ++present) {
      ScratchDir::put("emptrans.dat", render(batch, present));
      const ProgramResult r =
          runProgram({EMPUPDATE_PATH, "--journal", "j"}, ".");
      EXPECT_EQ(r.status, present < typos && r.err.find("invalid employee") ==
                                                 std::string::npos
                              ? 2
                              : 0)
          << r.err;
    }
    EXPECT_EQ(ScratchDir::get("employee.dat"), whole);
    EXPECT_EQ(runProgram({EMPUPDATE_PATH, "--journal", "j"}, ".").status, 0);
    EXPECT_EQ(ScratchDir::get("employee.dat"), whole);
    const ProgramResult undo = runProgram({EMPUNDO_PATH, "j"}, ".");
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_EQ(ScratchDir::get("employee.dat"), before);
  }
}
