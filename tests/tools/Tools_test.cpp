// Runs each folder of tools/cases (see CaseDir): the command line its
// `run` gives, in a directory laid out as the folder says, must end with
// the folder's status, standard output and standard error, and leave every
// file as it was: empdump reads only, and no command line that ends in
// help, a version or a usage error opens a file.
#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "CaseDir.h"
#include "CommandLine.h"
#include "DataCases.h"
#include "Escapes.h"
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
  for (const std::string path :
       {EMPUPDATE_PATH, EMPCHECK_PATH, EMPDUMP_PATH, EMPUNDO_PATH})
    if (path.ends_with("/" + c.argv[0])) c.argv[0] = path;
  const ProgramResult r = runProgram(c.argv, ".", c.options);
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(typesMarked(r.out), c.out);
  EXPECT_EQ(typesMarked(r.err), c.err);
  EXPECT_EQ(ScratchDir::listing(), before) << "a file was changed or made";
  EXPECT_FALSE(c.fifoOpened()) << "a FIFO was opened";
}

// Each command line of command-lines.txt, parsed for the options there.
TEST(CommandLineTest, CasesOfTheDataFile) {
  const int count = runCases(EMP_COMMAND_LINES, [](const std::string& line) {
    std::istringstream words("p " + line);
    std::vector<std::string> args(std::istream_iterator<std::string>(words),
                                  {});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    CommandLine cl("p", "", "", 74);
    ::testing::internal::CaptureStderr();
    const int status = cl.parse(int(argv.size()), argv.data(),
                                {"--list", "--live", "--from="});
    const std::string err = ::testing::internal::GetCapturedStderr();
    const std::string* from = cl.value("--from");
    if (status == -1 && err.empty() && from != nullptr)
      return "go on, --from " + *from;
    return std::to_string(status) + " " + escape(err);
  });
  EXPECT_GT(count, 5);
}

INSTANTIATE_TEST_SUITE_P(Cases, ToolCaseTest,
                         ::testing::ValuesIn(CaseDir::list(EMP_TOOL_CASES_DIR)),
                         CaseDir::testName);

}  // namespace
