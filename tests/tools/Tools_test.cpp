#include <fcntl.h>
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
constexpr auto npos = std::string::npos;

ProgramResult run(std::vector<std::string> argv) {
  return runProgram(argv, fs::current_path().string());
}

// Each folder of dump-cases: employee.before (RecordText; absent: no
// employee.dat), the options one a line in args, and the expected status,
// stdout and stderr (absent: 0, empty and empty). employee.dat is never
// changed, nor created.
TEST(EmpdumpTest, ShowsRecordsAsTableAndCsv) {
  for (const auto& name : CaseDir::list(EMP_DUMP_CASES_DIR)) {
    const fs::path c = fs::path(EMP_DUMP_CASES_DIR) / name;
    ScratchDir dir;
    const bool exists = fs::exists(c / "employee.before");
    if (exists) {
      ScratchDir::put(
          "employee.dat",
          record_text::toBytes(ScratchDir::get(c / "employee.before")));
    }
    const std::string before = ScratchDir::get("employee.dat");
    std::vector<std::string> argv = {EMPDUMP_PATH};
    std::istringstream args(ScratchDir::get(c / "args"));
    for (std::string arg; std::getline(args, arg);) argv.push_back(arg);
    const ProgramResult r = run(argv);
    EXPECT_EQ(r.status, std::atoi(ScratchDir::get(c / "status").c_str()))
        << name;
    EXPECT_EQ(r.out, ScratchDir::get(c / "stdout")) << name;
    EXPECT_EQ(r.err, ScratchDir::get(c / "stderr")) << name;
    EXPECT_TRUE(ScratchDir::get("employee.dat") == before) << name;
    EXPECT_EQ(fs::exists("employee.dat"), exists) << name;
  }
}

// A FIFO is refused unopened; a file that shrinks as it is read, and an
// output that can't be written, are reported.
TEST(EmpdumpTest, RefusesWhatItCannotReadOrWrite) {
  ScratchDir dir;
  const int fifo = CaseDir::watchedFifo("fifo.dat");
  const ProgramResult r = run({EMPDUMP_PATH, "fifo.dat"});
  EXPECT_EQ(std::to_string(r.status) + " " + r.err,
            "1 empdump:fifo.dat: cannot open: not a regular file\n");
  EXPECT_FALSE(CaseDir::opened(fifo)) << "the FIFO was opened";
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
  EXPECT_EQ(full.status, 74) << "an output that can't be written";
  EXPECT_EQ(full.err.rfind("empdump: cannot write", 0), 0u);
}

// GNU's conventions, in all three programs; none of them opens a file.
TEST(CommandLineTest, HelpVersionAndUsageErrors) {
  ScratchDir dir;
  RunOptions toFull;
  toFull.outFd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  const struct {
    std::string path;
    int usageStatus, outputStatus;
    std::vector<std::string> operands;
  } programs[] = {{EMPUPDATE_PATH, 2, 2, {"--"}},
                  {EMPCHECK_PATH, 64, 74, {"x"}},
                  {EMPDUMP_PATH, 64, 74, {"a", "b"}}};
  for (const auto& p : programs) {
    const std::string name = fs::path(p.path).filename().string();
    const ProgramResult help = run({p.path, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: " + name, 0), 0u) << help.out;
    EXPECT_EQ(help.out.find(" \n"), std::string::npos) << "trailing space";
    for (const char* warning :
         {"last field", "carriage", "NUL", "Ctrl-Z", "octal", "hexadecimal"}) {
      EXPECT_TRUE(name != "empcheck" || help.out.find(warning) != npos);
    }
    const ProgramResult version = run({p.path, "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind(name + " (empupdate) 1.", 0), 0u);
    EXPECT_NE(version.out.find("\nCopyright (C) "), std::string::npos);
    const std::string tryHelp =
        "Try '" + name + " --help' for more information.\n";
    const ProgramResult bad = run({p.path, "--bog\x1Bus"});
    EXPECT_EQ(bad.status, p.usageStatus);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, name + ": unknown option '--bog\\x1Bus'\n" + tryHelp);
    std::vector<std::string> withOperands = {p.path};
    withOperands.insert(withOperands.end(), p.operands.begin(),
                        p.operands.end());
    const ProgramResult operands = run(withOperands);
    EXPECT_EQ(operands.status, p.usageStatus) << name;
    EXPECT_TRUE(operands.err.ends_with(tryHelp)) << operands.err;
    const ProgramResult lost = runProgram({p.path, "--help"}, ".", toFull);
    EXPECT_EQ(lost.status, p.outputStatus) << name;
    EXPECT_EQ(lost.err.rfind(name + ": cannot write the output: ", 0), 0u);
    RunOptions closed;
    closed.closedStd = true;
    EXPECT_EQ(runProgram({p.path, "--version"}, ".", closed).status,
              p.outputStatus)
        << name << ": output to a closed stream is lost, not written";
  }
  ::close(toFull.outFd);
  EXPECT_TRUE(fs::is_empty(".")) << "a command line that opened a file";
}

}  // namespace
