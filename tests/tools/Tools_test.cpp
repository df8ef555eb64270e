// Runs each folder of tools/cases (see CaseDir): the command line its
// `run` gives, in a directory laid out as the folder says, must end with
// the folder's status, standard output and standard error, and leave every
// file as it was: empdump reads only, and no command line that ends in
// help, a version or a usage error opens a file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CaseDir.h"
#include "CommandLine.h"
#include "RunProgram.h"
#include "ScratchDir.h"

namespace {

class ToolCaseTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ToolCaseTest, Run) {
  CaseDir c(EMP_TOOL_CASES_DIR, GetParam());
  ScratchDir dir;
  c.prepare();
  const auto before = ScratchDir::listing();
  for (const std::string path : {EMPUPDATE_PATH, EMPCHECK_PATH, EMPDUMP_PATH})
    if (path.ends_with("/" + c.argv[0])) c.argv[0] = path;
  const ProgramResult r = runProgram(c.argv, ".", c.options);
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.err, c.err);
  EXPECT_EQ(ScratchDir::listing(), before) << "a file was changed or made";
  EXPECT_FALSE(c.fifoWatch >= 0 && CaseDir::opened(c.fifoWatch))
      << "a FIFO was opened";
}

// Long options as getopt_long takes them, on options two of which share a
// prefix: a command line, the status it ends with (-1: it goes on), the
// value it gives --from, and the first line of standard error.
TEST(CommandLineTest, PrefixesAndValues) {
  const struct {
    std::vector<std::string> args;
    int status;
    std::string from, err;
  } rows[] = {
      {{"--li"},
       64,
       "",
       "option '--li' is ambiguous: it may be --list or --live"},
      {{"--lis", "--fr=5", "--"}, -1, "5", ""},
      {{"--f", "--live", "-"}, -1, "--live", ""},
      {{"--from"}, 64, "", "option '--from' needs a value"},
      {{"--live=1"}, 64, "", "option '--live' takes no value"},
      {{"--l=1"},
       64,
       "",
       "option '--l' is ambiguous: it may be --list or --live"},
  };
  for (const auto& row : rows) {
    CommandLine cl("p", "", "", 74);
    std::vector<char*> argv{const_cast<char*>("p")};
    for (const std::string& a : row.args)
      argv.push_back(const_cast<char*>(a.c_str()));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(cl.parse(int(argv.size()), argv.data(),
                       {"--list", "--live", "--from="}),
              row.status)
        << row.err;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              row.err.empty() ? ""
                              : "p: " + row.err +
                                    "\nTry 'p --help' for more information.\n");
    if (row.status < 0) {
      EXPECT_EQ(*cl.value("--from"), row.from);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ToolCaseTest,
                         ::testing::ValuesIn(CaseDir::list(EMP_TOOL_CASES_DIR)),
                         CaseDir::testName);

}  // namespace
