// CaseDir: one folder of tests/run/cases, an end-to-end case of empupdate:
//   emptrans.dat     the transactions (absent: the file is missing)
//   employee.before  the starting records as RecordText (absent: missing)
//   employee.after   the records afterwards (absent: unchanged)
//   case.txt         one item a line:
//     status N             empupdate's exit status
//     stderr TEXT          its standard error, with C escapes
//     setup employee-dir | employee-fifo | trans-dir
//     setup employee-link | trans-link TARGET
//     setup employee-size BYTES   (a sparse file)
//     fsize BYTES          a file-size limit: a full disk
//     exists FILE | absent FILE   afterwards
//     unforeseeable        a write error no dry run can predict
#ifndef EMPUPDATE_TESTS_RUN_CASEDIR_H_
#define EMPUPDATE_TESTS_RUN_CASEDIR_H_

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

struct CaseDir {
  // Reads the folder `name` of `root`.
  CaseDir(const std::string& root, const std::string& name);
  // Lays out the starting files in the current directory.
  void prepare() const;

  static std::vector<std::string> list(const std::string& root);
  // A test name for a case folder's name.
  static std::string testName(
      const ::testing::TestParamInfo<std::string>& info);

  std::string path;
  int status = 0;
  std::string err;
  long fsize = 0;
  bool unforeseeable = false;
  bool hasBefore = false, hasAfter = false;
  std::string before, after;  // employee.dat bytes
  std::vector<std::pair<std::string, std::string>> checks;

 private:
  std::vector<std::vector<std::string>> setups_;
};

#endif  // EMPUPDATE_TESTS_RUN_CASEDIR_H_
