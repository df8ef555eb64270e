// Every kind of transaction and every warning of the reader's tables is
// told where a user looks for it: the programs' help, the README and the
// manual pages.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "EmpTrans.h"
#include "RunProgram.h"

namespace {

// A document's text as a reader sees it: the manual's font changes and
// escapes undone, and every run of white space, line ends included, one
// space.
std::string seen(const std::string& text) {
  std::string out = std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
  out = std::regex_replace(out, std::regex(R"(\\-)"), "-");
  return std::regex_replace(out, std::regex(R"(\s+)"), " ");
}

std::string file(const std::string& path) {
  std::ifstream in(EMP_SOURCE_DIR "/" + path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_FALSE(text.str().empty()) << path;
  return seen(text.str());
}

TEST(DocsTest, TellEveryKindAndEveryWarning) {
  const std::string readme = file("README.md"),
                    update = file("man/empupdate.1"),
                    check = file("man/empcheck.1");
  const std::string updateHelp =
      seen(runProgram({EMPUPDATE_PATH, "--help"}, ".").out);
  const std::string checkHelp =
      seen(runProgram({EMPCHECK_PATH, "--help"}, ".").out);
  for (const EmpTrans::Kind* kind : EmpTrans::kinds()) {
    const std::string s = EmpTrans::synopsis(*kind);
    EXPECT_NE(readme.find(s), std::string::npos) << s;
    EXPECT_NE(update.find(s), std::string::npos) << s;
    EXPECT_NE(updateHelp.find(s + " " + kind->name), std::string::npos) << s;
  }
  std::istringstream warnings(Finding::warningList(""));
  int n = 0;
  for (std::string w; std::getline(warnings, w); ++n) {
    EXPECT_NE(readme.find(w), std::string::npos) << w;
    EXPECT_NE(check.find(w), std::string::npos) << w;
    EXPECT_NE(checkHelp.find(w), std::string::npos) << w;
  }
  EXPECT_GT(n, 5);
  EXPECT_NE(checkHelp.find("Exit status: 0 "), std::string::npos);
  EXPECT_NE(updateHelp.find("Exit status: 0 "), std::string::npos);
}

}  // namespace
