#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "CaseDir.h"
#include "RecordText.h"
#include "RunProgram.h"
#include "ScratchDir.h"

namespace {

namespace fs = std::filesystem;

ProgramResult run(std::vector<std::string> argv) {
  return runProgram(argv, fs::current_path().string());
}

// Each folder of dump-cases: employee.before (RecordText), the options one
// a line in args, and the expected stdout and stderr (absent: empty).
TEST(EmpdumpTest, ShowsRecordsAsTableAndCsv) {
  for (const auto& name : CaseDir::list(EMP_DUMP_CASES_DIR)) {
    const fs::path c = fs::path(EMP_DUMP_CASES_DIR) / name;
    ScratchDir dir;
    ScratchDir::put(
        "employee.dat",
        record_text::toBytes(ScratchDir::get(c / "employee.before")));
    const std::string before = ScratchDir::get("employee.dat");
    std::vector<std::string> argv = {EMPDUMP_PATH};
    std::istringstream args(ScratchDir::get(c / "args"));
    for (std::string arg; std::getline(args, arg);) argv.push_back(arg);
    const ProgramResult r = run(argv);
    EXPECT_EQ(r.status, 0) << name;
    EXPECT_EQ(r.out, ScratchDir::get(c / "stdout")) << name;
    EXPECT_EQ(r.err, ScratchDir::get(c / "stderr")) << name;
    EXPECT_TRUE(ScratchDir::get("employee.dat") == before) << name;
  }
}

TEST(EmpdumpTest, RefusesWhatItCannotReadAndCreatesNothing) {
  ScratchDir dir;
  fs::create_directory("dir.dat");
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{EMPDUMP_PATH},
       "empdump:employee.dat: cannot open: No such file or directory\n"},
      {{EMPDUMP_PATH, "dir.dat"},
       "empdump:dir.dat: cannot open: Is a "
       "directory\n"},
      {{EMPDUMP_PATH, "/dev/zero"},
       "empdump:/dev/zero: cannot open: not a regular file\n"},
  };
  for (const auto& c : cases) {
    const ProgramResult r = run(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
  }
  EXPECT_FALSE(fs::exists("employee.dat"));
  // A file that yields fewer records than its size promised, as one that
  // shrinks while it is read does, is reported, not shown short.
  const ProgramResult shrunk = run({EMPDUMP_PATH, "/sys/kernel/uevent_seqnum"});
  EXPECT_EQ(shrunk.status, 1);
  EXPECT_NE(shrunk.err.find(": cannot read: the file shrank while it was read"),
            std::string::npos)
      << shrunk.err;
  ScratchDir::put("employee.dat", "");
  RunOptions toFull;
  toFull.outFd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  const ProgramResult full = runProgram({EMPDUMP_PATH}, ".", toFull);
  ::close(toFull.outFd);
  EXPECT_EQ(full.status, 2) << "an output that can't be written";
  EXPECT_EQ(full.err.rfind("empdump: cannot write", 0), 0u);
}

TEST(CommandLineTest, HelpVersionAndUsageErrors) {
  ScratchDir dir;
  for (const std::string p : {EMPDUMP_PATH, EMPCHECK_PATH}) {
    const std::string name = fs::path(p).filename().string();
    const ProgramResult help = run({p, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: " + name, 0), 0u) << help.out;
    const ProgramResult version = run({p, "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind(name + " (empupdate) ", 0), 0u);
    const ProgramResult bad = run({p, "--bogus"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err.rfind(name + ": unknown option '--bogus'\nusage: ", 0),
              0u);
  }
  EXPECT_EQ(run({EMPCHECK_PATH, "x"}).status, 1);
  EXPECT_EQ(run({EMPDUMP_PATH, "a", "b"}).status, 1);
  EXPECT_TRUE(fs::is_empty(".")) << "options create no file";
}

}  // namespace
