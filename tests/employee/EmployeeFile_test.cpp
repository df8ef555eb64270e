// Runs the cases of faults.txt: each operation on employee.dat meets a
// failing system call or a file changed under it.
#include <gtest/gtest.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>

#include "CallsSwapped.h"
#include "CaseDir.h"
#include "DataCases.h"
#include "Diagnostic.h"
#include "EmpTrans.h"
#include "Employee.h"
#include "RecordText.h"
#include "ScratchDir.h"
#include "SystemCalls.h"

namespace {

namespace fs = std::filesystem;

// For each system call scripted, what its next calls do, in order: a step < 0
// fails the call with errno -step, one >= 0 lets at most that many bytes of a
// read or write through.
std::map<std::string_view, std::deque<long>> script;
int heldLock = -1;  // another program's lock on employee.dat
// Steps of "open": the name leads to a FIFO by the time it is opened, or
// to nothing (it was removed just before).
constexpr long kPipe = -100000, kGone = -100001;

constexpr std::string_view kCalls[] = {"open",      "stat",  "pread", "pwrite",
                                       "ftruncate", "close", "lock",  "read"};
constexpr auto kReal = std::make_tuple(
    &SystemCalls::open, &SystemCalls::stat, &SystemCalls::pread,
    &SystemCalls::pwrite, &SystemCalls::ftruncate, &SystemCalls::close,
    &SystemCalls::lock, &SystemCalls::read);

// Call k of the table, as the script says.
template <std::size_t k, typename... A>
auto scripted(A... a) {
  const auto real = SystemCalls::real().*std::get<k>(kReal);
  std::deque<long>& steps = script[kCalls[k]];
  const long step = steps.empty() ? 1L << 40 : steps.front();
  if (!steps.empty()) steps.pop_front();
  if constexpr (k == 0) {
    if (step == kPipe) {
      int ends[2];
      if (::pipe2(ends, O_CLOEXEC) != 0) return -1;
      ::close(ends[1]);
      return ends[0];
    }
    if (step == kGone) {
      ::unlink(std::get<0>(std::tie(a...)));
      return real(a...);
    }
  }
  if (step < 0) {
    // A failed close closes all the same.
    if constexpr (kCalls[k] == "close") real(a...);
    errno = static_cast<int>(-step);
    return decltype(real(a...))(-1);
  }
  auto args = std::make_tuple(a...);
  if constexpr (k == 2 || k == 3 || k == 7)  // pread, pwrite, read
    std::get<2>(args) = std::min<std::size_t>(std::get<2>(args), step);
  return std::apply(real, args);
}

const SystemCalls kScripted = {
    scripted<0>, scripted<1>, scripted<2>,
    scripted<3>, scripted<4>, scripted<5>,
    scripted<6>, scripted<7>, SystemCalls::real().random};

// The errno called `name`.
long errorNumber(const std::string& name) {
  int e = 1;
  while (e < 200 && name != (::strerrorname_np(e) ? ::strerrorname_np(e) : ""))
    ++e;
  return e;
}

// Sets the script, or changes employee.dat, as `fault` says.
void disturb(std::istream& fault) {
  const char* file = Employee::kFileName;
  std::string what, arg;
  fault >> what;
  if (what == "file") {
    fault >> what >> arg;
    if (what == "locked")
      ::flock(heldLock = ::open(file, O_RDONLY | O_CLOEXEC), LOCK_SH);
    if (what != "resized" && what != "locked") fs::remove(file);
    if (what == "directory") fs::create_directory(file);
    if (what == "replaced") ScratchDir::put(file, std::string(180, 'x'));
    if (what == "fifo") ::mkfifo(file, 0666);
    if (what == "link") fs::create_symlink(arg, file);
    if (what == "resized") fs::resize_file(file, std::stoul(arg));
    return;
  }
  // Steps follow the call they are for; a call's name starts another list.
  std::string_view call;
  for (script.clear(), arg = what; !arg.empty(); arg.clear(), fault >> arg) {
    const auto named = std::find(std::begin(kCalls), std::end(kCalls), arg);
    if (named != std::end(kCalls)) call = *named;
    if (named == std::end(kCalls))
      script[call].push_back(std::isdigit(arg[0]) ? std::stol(arg)
                             : arg == "pipe"      ? kPipe
                             : arg == "gone"      ? kGone
                                                  : -errorNumber(arg));
  }
}

// The diagnostic of the error the case's operation raised, or "ok".
std::string run(const std::string& c) {
  ScratchDir dir;
  Employee::resetIndex();
  auto descriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), {});
  };
  const auto open = descriptors();
  ScratchDir::put(Employee::kFileName,
                  record_text::toBytes("1 0 \"a\" 0 0 2000/1/1\n"
                                       "2 0 \"b\" 0 0 2000/1/1\n"
                                       "3 0 \"c\" 0 0 2000/1/1\n"));
  ScratchDir::put(EmpTrans::kFileName,
                  "D 1\nA \"x\" S 1 2000/1/1" + std::string(100, ' ') + "\n");
  std::istringstream in(c);
  std::string op, outcome = "ok";
  in >> op;
  Employee e;
  if (op != "index" && op != "trans") {
    Employee::buildIndex();
    e.load(2);
    e.setName("a longer name than before");
  }
  disturb(in);
  const auto before = ScratchDir::listing();
  try {
    const CallsSwapped swapped(kScripted);
    if (op == "index") Employee::buildIndex();
    if (op == "load") e.load(2);
    if (op == "write") e.write();
    if (op == "add") e.add();
    if (op == "trans" || op == "next") EmpTrans::openFile();
    while (op == "trans") EmpTrans::get();  // to the end: NoMore
    if (op == "next") EmpTrans::get(), EmpTrans::get(), EmpTrans::skipToNext();
  } catch (const EmpTrans::NoMore&) {
  } catch (...) {
    // The row names the errno the diagnostic gives the C library's text of.
    outcome = Diagnostic::what(
        std::current_exception(),
        {.startUp = op == "index", .readError = EmpTrans::readError()});
    for (int e = 1; e < 134; ++e) {
      const std::string text = std::string(": ") + ::strerror(e);
      if (const auto at = outcome.find(text); at != outcome.npos)
        outcome.replace(at, text.size(),
                        std::string(": ") + strerrorname_np(e));
    }
  }
  script.clear();
  EmpTrans::closeFile();
  // A write that went through changed the file, as one torn did.
  const bool changed = outcome.find("put back") != std::string::npos ||
                       (outcome == "ok" && (op == "write" || op == "add"));
  EXPECT_EQ(ScratchDir::listing() == before, !changed) << c;
  if (heldLock >= 0) ::close(std::exchange(heldLock, -1));
  Employee::resetIndex();
  EXPECT_EQ(descriptors(), open) << c << ": a descriptor was left open";
  return outcome;
}

TEST(EmployeeFileTest, CasesOfTheDataFile) {
  EXPECT_GT(runCases(EMP_FAULT_CASES, run), 30);
}

}  // namespace
