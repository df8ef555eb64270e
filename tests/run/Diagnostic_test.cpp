// Runs the cases of diagnostics.txt: each batch, on employee.dat holding
// employees 1 to 3, through the engine of empupdate.
#include "Diagnostic.h"

#include <gtest/gtest.h>

#include <string>

#include "Batch.h"
#include "DataCases.h"
#include "Escapes.h"
#include "RecordText.h"
#include "ScratchDir.h"

namespace {

// The diagnostic of the run, less the program and file names before it and
// the count of transactions applied after it.
std::string run(const std::string& c) {
  ScratchDir dir;
  ScratchDir::put("employee.dat",
                  record_text::toBytes("1 0 \"a\" 0 0 2000/1/1\n"
                                       "2 0 \"b\" 0 0 2000/1/1\n"
                                       "3 0 \"c\" 0 0 2000/1/1\n"));
  ScratchDir::put("emptrans.dat", unescape(c));
  Employee::resetIndex();
  const std::string line = Batch::run().diagnostic;
  const std::string prefix = "empupdate:emptrans.dat:";
  if (line.rfind(prefix, 0) != 0) return "? " + line;
  return line.substr(prefix.size(), line.rfind("; ") - prefix.size());
}

TEST(DiagnosticTest, CasesOfTheDataFile) {
  EXPECT_GT(runCases(EMP_DIAGNOSTIC_CASES, run), 40);
}

}  // namespace
