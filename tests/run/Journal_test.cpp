// The journal, end to end. A journalled run killed before any of its
// system calls is taken back by empundo to the file as it was, byte for
// byte, or resumed by running it again to the file a whole run makes; an
// undo killed the same way is finished by running it again. A batch is
// never applied twice, and a record changed since the run keeps empundo
// from restoring anything.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "RecordText.h"
#include "RunProgram.h"
#include "ScratchDir.h"

namespace {

const std::string kRun = EMPUPDATE_PATH, kUndo = EMPUNDO_PATH;

std::string employees() {
  std::string text;
  for (int i = 1; i <= 50; ++i)
    text +=
        std::to_string(i) + " 0 \"e" + std::to_string(i) + "\" 1 9 2000/1/1\n";
  return record_text::toBytes(text);
}
const std::string kBefore = employees();

// Adds, changes and deletes of the 50 employees and of those the adds give,
// some over two lines.
std::string batch(unsigned seed, int n) {
  std::mt19937 r(seed);
  std::string text;
  for (int i = 0, high = 50; i < n; ++i) {
    const std::string id = std::to_string(1 + r() % high);
    const std::string fields =
        "\"N" + std::to_string(r() % 1000) + "\" " + (r() % 2 ? "S " : "H ") +
        std::to_string(1 + r() % 5000) + (r() % 4 ? " " : "\n  ") + "2020/1/" +
        std::to_string(1 + r() % 28);
    switch (r() % 3) {
      case 0:
        text += "A " + fields + "\n", ++high;
        break;
      case 1:
        text += "C " + id + " " + fields + "\n";
        break;
      default:
        text += "D " + id + "\n";
    }
  }
  return text;
}

struct Batch : ScratchDir {
  explicit Batch(const std::string& trans) {
    put("employee.dat", kBefore);
    put("emptrans.dat", trans);
  }
};

ProgramResult run(const std::vector<std::string>& argv) {
  return runProgram(argv, ".");
}

// Runs `argv`, killed before its system call number `call` (from 1); the
// count of its calls when it ended first.
long killedAt(long call, const std::vector<std::string>& argv) {
  RunOptions o;
  o.signalAtStart = SIGKILL;  // starts it traced
  const pid_t pid = startProgram(argv, ".", o);
  long made = 0;
  const int ended = signalAt(pid, SIGKILL, [&](const __ptrace_syscall_info&) {
    return ++made == call;
  });
  if (ended < 0) waitStatus(pid);
  return made;
}

TEST(Journal, KilledAtAnyCallIsTakenBackOrResumed) {
  const std::string trans = batch(34, 40);
  std::string whole;
  long calls, undoCalls;
  {
    Batch b(trans);
    calls = killedAt(-1, {kRun, "--journal", "j"});
    whole = ScratchDir::get("employee.dat");
    undoCalls = killedAt(-1, {kUndo, "j"});
    ASSERT_EQ(ScratchDir::get("employee.dat"), kBefore);
  }
  ASSERT_NE(whole, kBefore);
  std::mt19937 r(3434);
  for (int round = 0; round < 120; ++round) {
    const long at = 1 + r() % calls;
    SCOPED_TRACE("round " + std::to_string(round) + ", killed at call " +
                 std::to_string(at));
    Batch b(trans);
    killedAt(at, {kRun, "--journal", "j"});
    const bool journal = std::filesystem::exists("j");
    if (round % 2 == 1) {
      const ProgramResult again = run({kRun, "--journal", "j"});
      ASSERT_EQ(again.status, 0) << again.err;
      ASSERT_EQ(ScratchDir::get("employee.dat"), whole);
      // The undo itself cut short, then done again.
      killedAt(1 + r() % undoCalls, {kUndo, "j"});
    }
    const ProgramResult undo = run({kUndo, "j"});
    EXPECT_EQ(undo.status, journal || round % 2 ? 0 : 2) << undo.err;
    EXPECT_EQ(ScratchDir::get("employee.dat"), kBefore) << undo.out << undo.err;
  }
}

// Steps in one folder: a program, what emptrans.dat holds first (if not
// empty), and the status and words it ends with.
struct Step {
  std::vector<std::string> argv;
  std::string trans;
  int status;
  std::string words;  // in its standard error, or output when status 0
  bool changes;       // whether it may change employee.dat
  long fsize = 0;     // a file-size limit, when > 0
};

struct Story {
  const char* name;
  std::vector<Step> steps;
};

const std::string kBatch =
    "C 3 \"Al\" H 10 2020/1/1\nA \"Bo\" S 5 2020/2/2\nD 7\n";

const Story kStories[] = {
    {"run twice applies once",
     {{{kRun, "--journal", "j"}, kBatch, 0, "", true},
      {{kRun, "--journal", "j"},
       "",
       0,
       "3 transactions were applied by an earlier run, which found "
       "emptrans.dat as it is now",
       false},
      {{kUndo, "--check", "j"}, "", 0, "would take back 3 transactions", false},
      {{kUndo, "j"}, "", 0, "byte for byte as the run found it", true},
      {{kUndo, "j"}, "", 0, "taken back already", false},
      {{kRun, "--journal", "j"}, "", 2, "taken back since", false}}},
    {"a record changed since stops the undo",
     {{{kRun, "--journal", "j"}, kBatch, 0, "", true},
      {{kRun}, "C 3 \"\" * 777 1901/1/1\n", 0, "", true},
      {{kUndo, "j"},
       "",
       2,
       "employee 3, line 1 of emptrans.dat): its amount is 777, the run left "
       "10; nothing was restored",
       false},
      {{kUndo, "--check", "j"}, "", 2, "its amount is 777", false}}},
    {"a record added since stops the undo",
     {{{kRun, "--journal", "j"}, kBatch, 0, "", true},
      {{kRun}, "A \"Cy\" S 5 2020/2/2\n", 0, "", true},
      {{kUndo, "j"}, "", 2, "has grown since the run", false}}},
    {"a batch changed in lines applied is refused",
     {{{kRun, "--journal", "j"},
       kBatch + "C 99 \"\" * 1 1901/1/1\n",
       0,
       "",
       true},
      {{kRun, "--journal", "j"},
       "C 3 \"Al\" H 11 2020/1/1\n",
       2,
       "emptrans.dat:1: not the transaction that j records as applied at line "
       "1",
       false},
      {{kRun, "--journal", "j", "--from", "2"},
       kBatch,
       2,
       "started at line 1",
       false},
      {{kRun, "--journal", "j"},
       kBatch + "D 8\n",
       0,
       "resuming after lines 1 to 3 of emptrans.dat: 3 transactions were "
       "applied by an earlier run, which found emptrans.dat otherwise",
       true},
      {{kUndo, "j"}, "", 0, "took back 4 transactions", true}}},
    {"a run from a line resumes there",
     {{{kRun, "--journal", "j", "--from", "2"}, kBatch, 0, "", true},
      {{kRun, "--journal", "j"},
       kBatch + "D 9\n",
       0,
       "resuming after lines 2 to 3",
       true},
      {{kUndo, "j"}, "", 0, "took back 3 transactions", true}}},
    {"an undo whose journal can't grow says so, and is done once it can",
     {{{kRun, "--journal", "j"}, kBatch, 0, "", true},
      {{kUndo, "j"},
       "",
       2,
       "j: cannot write the journal: File too large",
       false,
       700},
      {{kUndo, "j"}, "", 0, "byte for byte as the run found it", true}}},
    {"a file that is no journal is never written over",
     {{{kRun, "--journal", "emptrans.dat"},
       kBatch,
       2,
       "emptrans.dat: the journal cannot be emptrans.dat",
       false},
      {{kRun, "--journal", "employee.dat"},
       "",
       2,
       "the journal cannot be employee.dat",
       false},
      {{kUndo, "emptrans.dat"}, "", 2, "not a journal", false},
      {{kUndo, "none"},
       "",
       2,
       "cannot open the journal: No such file",
       false}}},
};

class JournalStory : public ::testing::TestWithParam<Story> {};

TEST_P(JournalStory, EachStepEndsAsTold) {
  Batch b("");
  for (const Step& s : GetParam().steps) {
    if (!s.trans.empty()) ScratchDir::put("emptrans.dat", s.trans);
    const std::string before = ScratchDir::get("employee.dat");
    const ProgramResult r = runProgram(s.argv, ".", {.fsize = s.fsize});
    std::string command;
    for (const std::string& a : s.argv) command += a + " ";
    SCOPED_TRACE(command);
    EXPECT_EQ(r.status, s.status) << r.err;
    EXPECT_NE((s.status == 0 ? r.out + r.err : r.err).find(s.words),
              std::string::npos)
        << r.out << r.err;
    if (!s.changes) {
      EXPECT_EQ(ScratchDir::get("employee.dat"), before);
    }
  }
  const Step& last = GetParam().steps.back();
  if (last.argv[0] == kUndo && last.status == 0) {
    EXPECT_EQ(ScratchDir::get("employee.dat"), kBefore);
  }
}

INSTANTIATE_TEST_SUITE_P(Stories, JournalStory, ::testing::ValuesIn(kStories),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           for (char& c : n) c = std::isalnum(c) ? c : '_';
                           return n;
                         });

}  // namespace
