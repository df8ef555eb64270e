// CaseDir: one folder of an end-to-end case of empupdate:
//   emptrans.dat     the transactions (absent: the file is missing)
//   employee.before  the starting records as RecordText (absent: missing)
//   employee.after   the records afterwards (absent: unchanged)
//   case.txt         one item a line:
//     status N             empupdate's exit status
//     stderr TEXT          its standard error, with C escapes
//     setup employee-dir | employee-fifo | trans-dir | trans-fifo
//     setup employee-link | trans-link TARGET   (a symbolic link)
//     setup employee-size BYTES   (a sparse file)
//     setup locked         another run holds employee.dat
//     fsize BYTES          a file-size limit: a full disk
//     nofile N             a limit on open descriptors
//     closed-std           started with descriptors 0 to 2 closed
//     exists FILE | absent FILE   afterwards
//     unforeseeable        a fault no dry run can foresee
#ifndef EMPUPDATE_TESTS_SUPPORT_CASEDIR_H_
#define EMPUPDATE_TESTS_SUPPORT_CASEDIR_H_

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "RunProgram.h"

struct CaseDir {
  // Reads the folder `name` of `root`.
  CaseDir(const std::string& root, const std::string& name);
  // Lays out the starting files in the current directory. A lock it takes
  // is held until the object is destroyed.
  void prepare();
  ~CaseDir();

  // The names of the folders of `root`, for INSTANTIATE_TEST_SUITE_P.
  static std::vector<std::string> list(const std::string& root);
  static std::string testName(
      const ::testing::TestParamInfo<std::string>& info);

  std::string path;
  int status = 0;
  std::string err;
  RunOptions options;
  bool unforeseeable = false;
  bool hasBefore = false, hasAfter = false;
  std::string before, after;  // employee.dat bytes
  std::vector<std::pair<std::string, std::string>> checks;

 private:
  std::vector<std::pair<std::string, std::string>> setups_;
  int lock_ = -1;
};

#endif  // EMPUPDATE_TESTS_SUPPORT_CASEDIR_H_
