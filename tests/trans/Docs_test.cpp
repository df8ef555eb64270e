// Every kind of transaction and every warning of the reader's tables is
// told where a user looks for it: the programs' help, the README and the
// manual pages; and every sentence there that lists kinds follows the
// table of kinds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "EmpTrans.h"
#include "RunProgram.h"
#include "ScratchDir.h"

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
  const std::string text = ScratchDir::get(EMP_SOURCE_DIR "/" + path);
  EXPECT_FALSE(text.empty()) << path;
  return seen(text);
}

TEST(DocsTest, FollowTheTableOfKindsAndTheWarnings) {
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
    if (kind->note != nullptr) {
      EXPECT_NE(updateHelp.find(seen(kind->note)), std::string::npos) << s;
    }
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

  // Each kind is its file and its row in the table: a file left out of the
  // table is found here (a row whose file is gone, at link). A sentence that
  // lists kinds ("a change or delete") names all of them, or all of those
  // written with an employee number, or all that give one out: a new kind
  // makes every list it belongs in fail until it is named there.
  std::set<std::string> files, rows, all, numbered, numbering;
  for (const auto& f :
       std::filesystem::directory_iterator(EMP_SOURCE_DIR "/src/trans/kinds"))
    if (f.path().filename() != "KindTable.cpp")
      files.insert(f.path().filename().string());
  std::string names;
  for (const EmpTrans::Kind* k : EmpTrans::kinds()) {
    rows.insert(std::filesystem::path(k->source).filename().string());
    names += std::string(names.empty() ? "" : "|") + k->name + "s?";
    all.insert(k->name);
    if (std::count(k->fields.begin(), k->fields.end(), Finding::Part::kNumber))
      numbered.insert(k->name);
    if (k->givesNumber) numbering.insert(k->name);
  }
  EXPECT_EQ(files, rows);
  const std::string one = "(?:an? )?(?:" + names + ")\\b";
  const std::regex list(
      "\\b" + one + "(?:(?:, " + one + ")*,? (?:or|and) " + one + ")+",
      std::regex::icase),
      word(names, std::regex::icase);
  for (const std::string& doc :
       {readme, update, check, file("man/empdump.1"), updateHelp, checkHelp}) {
    for (std::sregex_iterator m(doc.begin(), doc.end(), list), e; m != e; ++m) {
      std::set<std::string> named;
      const std::string text = m->str();
      for (std::sregex_iterator w(text.begin(), text.end(), word); w != e; ++w)
        named.insert(std::regex_replace(w->str(), std::regex("s$"), ""));
      EXPECT_TRUE(named == all || named == numbered || named == numbering)
          << "\"" << text << "\"";
    }
  }
}

}  // namespace
