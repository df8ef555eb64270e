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
  ScratchDir::put("employee.dat", "");
  const pid_t full = startProgram({EMPDUMP_PATH}, ".", "/dev/full", "err");
  EXPECT_EQ(waitStatus(full), 2) << "an output that can't be written";
  EXPECT_EQ(ScratchDir::get("err").rfind("empdump: cannot write", 0), 0u);
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

// Every file of the directory: its type and, for a small file, its bytes.
std::map<std::string, std::string> snapshot() {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(".")) {
    const auto type = fs::symlink_status(e.path()).type();
    std::string& v = files[e.path().filename().string()];
    v = std::to_string(static_cast<int>(type));
    if (type == fs::file_type::regular && fs::file_size(e.path()) < 65536) {
      v += ScratchDir::get(e.path());
    }
  }
  return files;
}

class AgreementTest : public ::testing::TestWithParam<std::string> {};

// empcheck foresees what empupdate then does, and changes nothing itself.
TEST_P(AgreementTest, CheckThenRun) {
  const CaseDir c(EMP_CASES_DIR, GetParam());
  if (c.fsize > 0 || c.unforeseeable) {
    GTEST_SKIP() << "a write error no dry run can foresee";
  }
  ScratchDir outer;
  fs::create_directory("work");
  fs::current_path("work");
  c.prepare();
  const std::string work = fs::current_path().string();

  const auto before = snapshot();
  const ProgramResult check = runProgram({EMPCHECK_PATH}, work);
  EXPECT_EQ(snapshot(), before) << "the check touched the files";
  EXPECT_EQ(check.err, "");
  const long size = fs::is_regular_file("employee.dat")
                        ? static_cast<long>(fs::file_size("employee.dat"))
                        : 0;
  const ProgramResult runResult = runProgram({EMPUPDATE_PATH}, work);

  const int want = check.status == 3 ? 0 : check.status;
  EXPECT_EQ(runResult.status, want) << check.out;
  if (check.status == 3) {
    EXPECT_NE(runResult.err.find("Transaction found for invalid employee"),
              std::string::npos);
    const std::string id = runResult.err.substr(runResult.err.rfind(' ') + 1);
    EXPECT_NE(check.out.find("employee " + id + " is not"), std::string::npos)
        << check.out;
  }
  if (check.status == 2) {
    EXPECT_NE(check.out.find("would fail with:\n" + runResult.err),
              std::string::npos)
        << check.out << runResult.err;
  }
  if (check.status == 0) {
    EXPECT_EQ(runResult.err, "");
  }
  if (check.status != 1 && fs::is_regular_file("employee.dat")) {
    const long added =
        (static_cast<long>(fs::file_size("employee.dat")) - size) / 60;
    EXPECT_NE(check.out.find(std::to_string(added) +
                             (added == 1 ? " add," : " adds,")),
              std::string::npos)
        << check.out;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, AgreementTest,
                         ::testing::ValuesIn(CaseDir::list(EMP_CASES_DIR)),
                         CaseDir::testName);

}  // namespace
