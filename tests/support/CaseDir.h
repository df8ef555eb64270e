// CaseDir: one folder of an end-to-end case of a program (empupdate
// unless `run` says otherwise):
//   emptrans.dat     the transactions (absent: the file is missing)
//   employee.before  the starting records as RecordText (absent: missing)
//   employee.after   the records afterwards (absent: unchanged)
//   old.before       records laid out as old.dat, a second employee file
//                    (absent: none)
//   control.txt      a control file, for --control (absent: none)
//   stdout           its standard output (absent: empty)
//   case.txt         one item a line:
//     run PROGRAM ARG...   the command line, with C escapes
//     status N             the program's exit status
//     stderr TEXT          its standard error, with C escapes
//     setup employee-dir | employee-fifo | trans-dir | trans-fifo
//                          (a FIFO that neither program may open)
//     setup employee-link | trans-link TARGET   (a symbolic link)
//     setup employee-link-chain | trans-link-chain N   (N links, one to
//                          the next, the last to chain-end, missing)
//     setup employee-size BYTES   (a sparse file)
//     setup employee-read-only    (the folder open to all)
//     setup folder-read-only      (nothing can be created in it)
//     setup locked         another run holds employee.dat
//     fsize BYTES          a file-size limit: a full disk
//     nofile N             a limit on open descriptors
//     stdin FILE           standard input (else /dev/null)
//     closed-stdin         started with descriptor 0 closed
//     closed-std           started with descriptors 0 to 2 closed
//     full-stdout          standard output /dev/full
//     unprivileged         both programs run as nobody (when root)
//     broken-stderr        standard error a pipe nobody reads
//     signal-at-start N    signal N sent as main starts (status 1000 + N
//                          for a death by it)
//     exists FILE | absent FILE   afterwards
//     unforeseeable        a fault no dry run can foresee
//     check-limited        the check runs under the limits of the run, and
//                          foretells it all the same
//     check-status N       the check, under the limits of the run, ends
//                          so, foretelling nothing
//     check-stderr TEXT    with this standard error
#ifndef EMPUPDATE_TESTS_SUPPORT_CASEDIR_H_
#define EMPUPDATE_TESTS_SUPPORT_CASEDIR_H_

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "Escapes.h"
#include "RecordText.h"
#include "RunProgram.h"
#include "ScratchDir.h"

struct CaseDir {
  // Reads the folder `name` of `root`.
  CaseDir(const std::string& root, const std::string& name)
      : path(root + "/" + name) {
    hasBefore = std::filesystem::exists(path + "/employee.before");
    hasAfter = std::filesystem::exists(path + "/employee.after");
    before = record_text::toBytes(ScratchDir::get(path + "/employee.before"));
    after = record_text::toBytes(ScratchDir::get(path + "/employee.after"));
    hasOld = std::filesystem::exists(path + "/old.before");
    old = record_text::toBytes(ScratchDir::get(path + "/old.before"));
    out = ScratchDir::get(path + "/stdout");
    std::istringstream lines(ScratchDir::get(path + "/case.txt"));
    for (std::string line; std::getline(lines, line);) {
      std::istringstream in(line);
      std::string key, arg, target;
      in >> key >> arg >> target;
      if (key == "status") status = std::stoi(arg);
      if (key == "stderr") err = unescape(line.substr(7));
      if (key == "fsize") options.fsize = std::stol(arg);
      if (key == "nofile") options.nofile = std::stol(arg);
      if (key == "signal-at-start") options.signalAtStart = std::stoi(arg);
      if (key == "stdin") options.in = arg;
      if (key == "closed-stdin") options.in.clear();
      if (key == "closed-std") options.closedStd = true;
      if (key == "full-stdout") options.fullOut = true;
      if (key == "broken-stderr") options.brokenErr = true;
      if (key == "unprivileged") options.unprivileged = true;
      if (key == "unforeseeable") unforeseeable = true;
      if (key == "check-status") checkStatus = std::stoi(arg);
      if (key == "check-limited") checkLimited = true;
      if (key == "check-stderr") checkErr = unescape(line.substr(13));
      if (key == "exists" || key == "absent") checks.emplace_back(key, arg);
      if (key == "setup") setups_.emplace_back(arg, target);
      std::istringstream words(line.substr(key.size()));
      while (key == "run" && words >> arg) argv.push_back(unescape(arg));
    }
    checkOptions = checkStatus >= 0 || checkLimited ? options : RunOptions{};
    checkOptions.unprivileged = options.unprivileged;
  }
  ~CaseDir() {
    if (lock_ >= 0) ::close(lock_);
    if (fifoWatch_ >= 0) ::close(fifoWatch_);
  }

  // Lays out the starting files in the current directory. A lock it takes
  // is held until the object is destroyed.
  void prepare() {
    namespace fs = std::filesystem;
    if (hasBefore) ScratchDir::put("employee.dat", before);
    if (hasOld) ScratchDir::put("old.dat", old);
    std::error_code missing;  // then emptrans.dat is missing too
    fs::copy_file(path + "/emptrans.dat", "emptrans.dat", missing);
    fs::copy_file(path + "/control.txt", "control.txt", missing);
    for (const auto& [what, arg] : setups_) {
      const std::string file =
          what.substr(0, 5) == "trans" ? "emptrans.dat" : "employee.dat";
      if (what.ends_with("-dir")) fs::create_directory(file);
      if (what.ends_with("-fifo")) {  // watched: see fifoOpened()
        ::mkfifo(file.c_str(), 0666);
        fifoWatch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ::inotify_add_watch(fifoWatch_, file.c_str(), IN_OPEN);
      }
      if (what.ends_with("-link")) fs::create_symlink(arg, file);
      if (what.ends_with("-link-chain")) {  // file, link-2 ... link-N
        const int n = std::stoi(arg);
        for (int i = 1; i <= n; ++i)
          fs::create_symlink(
              i < n ? "link-" + std::to_string(i + 1) : "chain-end",
              i == 1 ? file : "link-" + std::to_string(i));
      }
      if (what == "employee-read-only") {
        fs::permissions(file, fs::perms(0444));
        fs::permissions(".", fs::perms(0755));
      }
      if (what == "folder-read-only") fs::permissions(".", fs::perms(0555));
      if (what == "employee-size") {
        ScratchDir::put(file, "");
        fs::resize_file(file, std::stoull(arg));
      }
      if (what == "locked") {
        lock_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_EQ(::flock(lock_, LOCK_SH), 0);
      }
    }
  }

  // Whether something opened the FIFO laid out, which would have released
  // a writer waiting at its other end.
  bool fifoOpened() const {
    char events[1024];
    return fifoWatch_ >= 0 && ::read(fifoWatch_, events, sizeof events) > 0;
  }

  // The names of the folders of `root`, for INSTANTIATE_TEST_SUITE_P.
  static std::vector<std::string> list(const std::string& root) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(root))
      if (e.is_directory()) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::string testName(const ::testing::TestParamInfo<std::string>& i) {
    std::string name = i.param;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
  }

  std::string path;
  std::vector<std::string> argv;
  int status = 0;
  std::string out, err;
  RunOptions options, checkOptions;
  int checkStatus = -1;
  bool checkLimited = false;
  std::string checkErr;
  bool unforeseeable = false;
  bool hasBefore = false, hasAfter = false, hasOld = false;
  std::string before, after, old;  // employee.dat's bytes, and old.dat's
  std::vector<std::pair<std::string, std::string>> checks;

 private:
  std::vector<std::pair<std::string, std::string>> setups_;
  int lock_ = -1, fifoWatch_ = -1;
};

#endif  // EMPUPDATE_TESTS_SUPPORT_CASEDIR_H_
