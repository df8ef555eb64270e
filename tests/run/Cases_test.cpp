// Runs the built empupdate on each folder of tests/run/cases in a fresh
// directory and compares what it did with what the folder expects:
//   emptrans.dat     the transactions (absent: the file is missing)
//   employee.before  the starting records (absent: the file is missing)
//   employee.after   the records afterwards (absent: unchanged)
//   case.txt         "status N", "stderr TEXT" (C escapes), and optionally
//                    "setup employee-dir|trans-dir",
//                    "setup employee-link|trans-link TARGET",
//                    "setup employee-size BYTES" (a sparse file),
//                    "fsize BYTES" (a file-size limit: a full disk),
//                    "exists FILE", "absent FILE"
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "RecordText.h"
#include "RunProgram.h"
#include "ScratchDir.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> listCases() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(EMP_CASES_DIR)) {
    if (e.is_directory()) names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char c = s[++i];
      out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
    } else {
      out += s[i];
    }
  }
  return out;
}

class CaseTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CaseTest, Run) {
  const fs::path spec = fs::path(EMP_CASES_DIR) / GetParam();
  auto read = [&](const char* name) { return ScratchDir::get(spec / name); };
  auto has = [&](const char* name) { return fs::exists(spec / name); };

  ScratchDir outer;  // holds the captured output beside the work directory
  fs::create_directory("work");
  fs::current_path("work");
  const std::string work = fs::current_path().string();

  const bool hasBefore = has("employee.before");
  const std::string before = record_text::toBytes(read("employee.before"));
  if (hasBefore) ScratchDir::put("employee.dat", before);
  if (has("emptrans.dat"))
    ScratchDir::put("emptrans.dat", read("emptrans.dat"));

  int wantStatus = 0;
  long fsize = 0;
  std::string wantErr;
  std::vector<std::pair<std::string, std::string>> checks;
  std::istringstream lines(read("case.txt"));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream in(line);
    std::string key, arg, target;
    in >> key >> arg >> target;
    if (key == "status") wantStatus = std::stoi(arg);
    if (key == "stderr") wantErr = unescape(line.substr(7));
    if (key == "fsize") fsize = std::stol(arg);
    if (key == "exists" || key == "absent") checks.emplace_back(key, arg);
    if (key == "setup" && arg == "employee-dir") {
      fs::create_directory("employee.dat");
    }
    if (key == "setup" && arg == "trans-dir") {
      fs::create_directory("emptrans.dat");
    }
    if (key == "setup" && arg == "employee-link") {
      fs::create_symlink(target, "employee.dat");
    }
    if (key == "setup" && arg == "trans-link") {
      fs::create_symlink(target, "emptrans.dat");
    }
    if (key == "setup" && arg == "employee-size") {
      ScratchDir::put("employee.dat", "");
      fs::resize_file("employee.dat", std::stoull(target));
    }
  }

  const ProgramResult got = runProgram({EMPUPDATE_PATH}, work, fsize);
  EXPECT_EQ(got.status, wantStatus);
  EXPECT_EQ(got.err, wantErr);
  EXPECT_EQ(got.out, "") << "nothing on standard output";
  if (has("employee.after")) {
    EXPECT_EQ(
        record_text::fromBytes(ScratchDir::get("employee.dat")),
        record_text::fromBytes(record_text::toBytes(read("employee.after"))));
  } else if (hasBefore) {
    EXPECT_EQ(record_text::fromBytes(ScratchDir::get("employee.dat")),
              record_text::fromBytes(before))
        << "employee.dat must be unchanged";
  }
  for (const auto& [key, file] : checks) {
    EXPECT_EQ(fs::exists(file), key == "exists") << key << " " << file;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CaseTest, ::testing::ValuesIn(listCases()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
