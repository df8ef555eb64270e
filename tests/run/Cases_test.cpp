// Runs the built empupdate on each folder of tests/run/cases (see CaseDir)
// in a fresh directory and compares what it did with what the folder
// expects.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "CaseDir.h"
#include "RecordText.h"
#include "RunProgram.h"
#include "ScratchDir.h"

namespace {

namespace fs = std::filesystem;

class CaseTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CaseTest, Run) {
  const CaseDir c(EMP_CASES_DIR, GetParam());
  ScratchDir outer;  // holds the captured output beside the work directory
  fs::create_directory("work");
  fs::current_path("work");
  c.prepare();

  const ProgramResult got =
      runProgram({EMPUPDATE_PATH}, fs::current_path().string(), c.fsize);
  EXPECT_EQ(got.status, c.status);
  EXPECT_EQ(got.err, c.err);
  EXPECT_EQ(got.out, "") << "nothing on standard output";
  if (c.hasAfter || c.hasBefore) {
    EXPECT_EQ(record_text::fromBytes(ScratchDir::get("employee.dat")),
              record_text::fromBytes(c.hasAfter ? c.after : c.before));
  }
  for (const auto& [key, file] : c.checks) {
    EXPECT_EQ(fs::exists(file), key == "exists") << key << " " << file;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CaseTest,
                         ::testing::ValuesIn(CaseDir::list(EMP_CASES_DIR)),
                         CaseDir::testName);

}  // namespace
