#include "CaseDir.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "Escapes.h"
#include "RecordText.h"
#include "ScratchDir.h"

namespace fs = std::filesystem;

CaseDir::CaseDir(const std::string& root, const std::string& name)
    : path((fs::path(root) / name).string()) {
  auto read = [&](const char* f) {
    return ScratchDir::get(fs::path(path) / f);
  };
  hasBefore = fs::exists(fs::path(path) / "employee.before");
  hasAfter = fs::exists(fs::path(path) / "employee.after");
  before = record_text::toBytes(read("employee.before"));
  after = record_text::toBytes(read("employee.after"));
  std::istringstream lines(read("case.txt"));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream in(line);
    std::string key, arg, target;
    in >> key >> arg >> target;
    if (key == "status") status = std::stoi(arg);
    if (key == "stderr") err = unescape(line.substr(7));
    if (key == "fsize") fsize = std::stol(arg);
    if (key == "unforeseeable") unforeseeable = true;
    if (key == "exists" || key == "absent") checks.emplace_back(key, arg);
    if (key == "setup") setups_.push_back({arg, target});
  }
}

void CaseDir::prepare() const {
  if (hasBefore) ScratchDir::put("employee.dat", before);
  const fs::path trans = fs::path(path) / "emptrans.dat";
  if (fs::exists(trans))
    ScratchDir::put("emptrans.dat", ScratchDir::get(trans));
  for (const auto& s : setups_) {
    if (s[0] == "employee-dir") fs::create_directory("employee.dat");
    if (s[0] == "employee-fifo") ::mkfifo("employee.dat", 0666);
    if (s[0] == "trans-dir") fs::create_directory("emptrans.dat");
    if (s[0] == "employee-link") fs::create_symlink(s[1], "employee.dat");
    if (s[0] == "trans-link") fs::create_symlink(s[1], "emptrans.dat");
    if (s[0] == "employee-size") {
      ScratchDir::put("employee.dat", "");
      fs::resize_file("employee.dat", std::stoull(s[1]));
    }
  }
}

std::vector<std::string> CaseDir::list(const std::string& root) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(root)) {
    if (e.is_directory()) names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string CaseDir::testName(
    const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}
