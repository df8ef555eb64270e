#include "CaseDir.h"

#include <fcntl.h>
#include <sys/file.h>
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
    if (key == "fsize") options.fsize = std::stol(arg);
    if (key == "nofile") options.nofile = std::stol(arg);
    if (key == "closed-std") options.closedStd = true;
    if (key == "unforeseeable") unforeseeable = true;
    if (key == "exists" || key == "absent") checks.emplace_back(key, arg);
    if (key == "setup") setups_.emplace_back(arg, target);
  }
}

CaseDir::~CaseDir() {
  if (lock_ >= 0) ::close(lock_);
}

void CaseDir::prepare() {
  if (hasBefore) ScratchDir::put("employee.dat", before);
  const fs::path trans = fs::path(path) / "emptrans.dat";
  if (fs::exists(trans)) {
    ScratchDir::put("emptrans.dat", ScratchDir::get(trans));
  }
  for (const auto& [what, arg] : setups_) {
    if (what == "employee-dir") fs::create_directory("employee.dat");
    if (what == "employee-fifo") ::mkfifo("employee.dat", 0666);
    if (what == "trans-dir") fs::create_directory("emptrans.dat");
    if (what == "trans-fifo") ::mkfifo("emptrans.dat", 0666);
    if (what == "employee-link") fs::create_symlink(arg, "employee.dat");
    if (what == "trans-link") fs::create_symlink(arg, "emptrans.dat");
    if (what == "employee-size") {
      ScratchDir::put("employee.dat", "");
      fs::resize_file("employee.dat", std::stoull(arg));
    }
    if (what == "locked") {
      lock_ = ::open("employee.dat", O_RDONLY | O_CLOEXEC);
      EXPECT_EQ(::flock(lock_, LOCK_SH), 0);
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
