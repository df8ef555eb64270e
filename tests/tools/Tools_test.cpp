// Runs each folder of tools/cases (see CaseDir): the command line its
// `run` gives, in a directory laid out as the folder says, must end with
// the folder's status, standard output and standard error, and leave every
// file as it was: empdump reads only, and no command line that ends in
// help, a version or a usage error opens a file.
#include <gtest/gtest.h>

#include <string>

#include "CaseDir.h"
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

INSTANTIATE_TEST_SUITE_P(Cases, ToolCaseTest,
                         ::testing::ValuesIn(CaseDir::list(EMP_TOOL_CASES_DIR)),
                         CaseDir::testName);

}  // namespace
