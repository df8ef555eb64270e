// Runs each folder of tests/run/cases (see CaseDir) in a fresh directory:
// first empcheck --list, which must change nothing and foresee what
// empupdate then does (its report is empcheck.out, when the folder has
// one), then empupdate, whose results must be the folder's. Both get the
// options that follow the program's name on the folder's `run` line.
// empcheck --json must tell what --list tells, line for line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "CaseDir.h"
#include "Escapes.h"
#include "JsonLine.h"
#include "RunProgram.h"
#include "ScratchDir.h"
#include "TypesMarked.h"

namespace {

namespace fs = std::filesystem;

// employee.dat's bytes, escaped, a record a line: a failure shows which
// records differ.
std::string shown(const std::string& bytes) {
  std::string text;
  for (std::size_t at = 0; at < bytes.size(); at += 60)
    text += escape(bytes.substr(at, 60)) + "\n";
  return text;
}

std::size_t records() {
  std::error_code none;
  const auto size = fs::file_size("employee.dat", none);
  return none ? 0 : size / 60;
}

// The adds a check's summary foretells ("would apply: N adds, ...", adds
// first), or none.
std::size_t addsForetold(const std::string& report) {
  std::smatch m;
  const std::regex adds(R"(would apply: (\d+) adds?\b)");
  return std::regex_search(report, m, adds) ? std::stoul(m.str(1)) : 0;
}

// What a report tells, a line each: each transaction up to its employee
// number ("emptrans.dat:3: change 5"), each diagnostic whole, then the
// adds of the summary.
std::vector<std::string> told(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  const std::regex plan(
      R"((emptrans\.dat:\d+: [a-z]+ -?\d+)( \(deleted\))?(: .*)?)");
  std::smatch m;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("emptrans.dat:") || line.starts_with("employee.dat:"))
      lines.push_back(std::regex_match(line, m, plan) ? m.str(1) : line);
  }
  if (!text.empty())
    lines.push_back("adds " + std::to_string(addsForetold(text)));
  return lines;
}

// The same of a --json report, each line rebuilt from its object.
std::vector<std::string> toldInJson(const std::string& json) {
  std::vector<std::string> lines;
  std::istringstream in(json);
  std::string line;
  if (std::getline(in, line)) {
    EXPECT_EQ(line, R"({"format":"empcheck-plan","version":1})");
  }
  while (std::getline(in, line)) {
    try {
      const JsonLine j(line);
      const auto at = [&j](const char* path) {
        return j[path].empty() ? "" : ":" + j[path];
      };
      if (j["type"] == "transaction")
        lines.push_back("emptrans.dat" + at("line") + ": " + j["kind"] + " " +
                        j["employee"]);
      if (j["type"] == "diagnostic")
        lines.push_back(j["file"] + at("line") + at("column") + ": " +
                        j["severity"] + ": " + j["words"]);
      if (j["type"] == "summary") lines.push_back("adds " + j["counts.add"]);
    } catch (const std::runtime_error& e) {
      ADD_FAILURE() << e.what() << ": " << line;
    }
  }
  return lines;
}

ProgramResult marked(ProgramResult r) {
  r.out = typesMarked(r.out);
  r.err = typesMarked(r.err);
  return r;
}

class CaseTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CaseTest, CheckThenRun) {
  ::umask(022);  // what the run creates is then readable by all
  CaseDir c(EMP_CASES_DIR, GetParam());
  ScratchDir dir;
  c.prepare();
  const std::string here = dir.path().string();
  const auto before = ScratchDir::listing();
  const std::size_t start = records();

  // The options of a `run` line go to both programs.
  auto with = [&c](std::vector<std::string> argv) {
    if (!c.argv.empty())
      argv.insert(argv.end(), c.argv.begin() + 1, c.argv.end());
    return argv;
  };
  const ProgramResult check =
      marked(runProgram(with({EMPCHECK_PATH, "--list"}), here, c.checkOptions));
  if (check.status == 77) GTEST_SKIP() << "nobody can't run here";
  EXPECT_EQ(ScratchDir::listing(), before) << "the check touched the files";
  EXPECT_EQ(check.err, c.checkErr);
  const ProgramResult json =
      marked(runProgram(with({EMPCHECK_PATH, "--json"}), here, c.checkOptions));
  EXPECT_EQ(json.status, check.status);
  EXPECT_EQ(toldInJson(json.out), told(check.out));
  const ProgramResult run =
      marked(runProgram(with({EMPUPDATE_PATH}), here, c.options));
  EXPECT_EQ(run.status, c.status);
  EXPECT_EQ(run.err, c.err);
  EXPECT_EQ(run.out, c.out);
  if (c.hasAfter || c.hasBefore) {
    EXPECT_EQ(shown(ScratchDir::get("employee.dat")),
              shown(c.hasAfter ? c.after : c.before));
  }
  for (const auto& [key, file] : c.checks) {
    EXPECT_EQ(fs::exists(file), key == "exists") << key << " " << file;
  }
  for (const auto& [file, was] : ScratchDir::listing()) {
    EXPECT_TRUE(before.count(file) ||
                fs::status(file).permissions() == fs::perms(0644))
        << file << " created other than as the umask allows";
  }
  EXPECT_FALSE(c.fifoOpened()) << "a FIFO was opened";
  if (c.checkStatus >= 0) {  // the check could not be made
    EXPECT_EQ(check.status, c.checkStatus);
    EXPECT_EQ(check.out, "") << "a check foretold something";
    return;
  }

  if (c.unforeseeable || c.options.brokenErr) return;  // the run said nothing
  const std::string expected = ScratchDir::get(c.path + "/empcheck.out");
  if (!expected.empty()) {
    EXPECT_EQ(check.out, expected);
  }
  const bool unknown = run.err.find("invalid employee") != std::string::npos;
  const bool warned = check.out.find(": warning: ") != std::string::npos;
  EXPECT_EQ(check.status, unknown                     ? 3
                          : run.status == 0 && warned ? 4
                                                      : run.status)
      << check.out;
  if (run.status == 2) {
    EXPECT_NE(check.out.find("would fail with:\n" + run.err), std::string::npos)
        << check.out;
  }
  if (unknown) {
    const std::string id = run.err.substr(run.err.rfind(' ') + 1);
    EXPECT_NE(check.out.find("employee " + id + " is not"), std::string::npos)
        << check.out;
  }
  if (run.status != 1) {
    EXPECT_EQ(addsForetold(check.out), records() - start) << check.out;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CaseTest,
                         ::testing::ValuesIn(CaseDir::list(EMP_CASES_DIR)),
                         CaseDir::testName);

}  // namespace
