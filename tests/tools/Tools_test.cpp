// Runs each folder of tools/cases (see CaseDir): the command line its
// `run` gives, in a directory laid out as the folder says, must end with
// the folder's status, standard output and standard error, and leave every
// file as it was: empdump reads only, and no command line that ends in
// help, a version or a usage error opens a file.
#include <gtest/gtest.h>

#include <array>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "CaseDir.h"
#include "CommandLine.h"
#include "RunProgram.h"
#include "ScratchDir.h"
#include "TypesMarked.h"

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
  EXPECT_EQ(typesMarked(r.out), c.out);
  EXPECT_EQ(typesMarked(r.err), c.err);
  EXPECT_EQ(ScratchDir::listing(), before) << "a file was changed or made";
  EXPECT_FALSE(c.fifoWatch >= 0 && CaseDir::opened(c.fifoWatch))
      << "a FIFO was opened";
}

// Long options as getopt_long takes them, on options two of which share a
// prefix: a command line, and the value it gives --from or its usage error.
TEST(CommandLineTest, PrefixesAndValues) {
  const std::vector<std::array<std::string, 3>> rows = {
      {"--li", "", "option '--li' is ambiguous: it may be --list or --live"},
      {"--lis --fr=5 --", "5", ""},
      {"--f --live -", "--live", ""},
      {"--from", "", "option '--from' needs a value"},
      {"--live=1", "", "option '--live' takes no value"},
      {"--fr=5 --from 5", "", "option '--from' may be given only once"}};
  for (const auto& [line, from, err] : rows) {
    std::istringstream words("p " + line);
    std::vector<std::string> args(std::istream_iterator<std::string>(words),
                                  {});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    CommandLine cl("p", "", "", 74);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(cl.parse(int(argv.size()), argv.data(),
                       {"--list", "--live", "--from="}),
              err.empty() ? -1 : 64);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              err.empty()
                  ? ""
                  : "p: " + err + "\nTry 'p --help' for more information.\n");
    EXPECT_TRUE(!err.empty() || *cl.value("--from") == from) << line;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ToolCaseTest,
                         ::testing::ValuesIn(CaseDir::list(EMP_TOOL_CASES_DIR)),
                         CaseDir::testName);

}  // namespace
