// empbench: times whole runs of empupdate, as a user would (start-up,
// indexing and the batch), against the floor of its design.
//
// For each case it writes employee.dat with N employees and emptrans.dat
// with M transactions (60% changes, some using the unchanged markers, 20%
// adds, 20% deletes; every change and delete names an employee that
// exists). It runs empupdate on fresh copies, and empfloor, a process that
// makes only the system calls the design demands (the file read once; per
// record operation open, seek, read or write 60 bytes, close), and prints
// the fastest of several runs of each, their ratio, the indexing alone (an
// empty batch) against one read of the file, and the peak memory per
// employee. It checks that both leave byte-identical files, and times
// whole runs on a file of numbers crafted to share home slots under a fixed
// hash, ascending and shuffled, beside ordinary numbers.
//
// Usage: empbench EMPUPDATE EMPFLOOR [N:M ...]
//   (default 1000:20000 100000:20000 1000000:20000 100000:200000)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "Employee.h"
#include "FloorOp.h"
#include "LittleEndian.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 9;
constexpr int kRecord = Employee::kRecordBytes;
using Op = FloorOp;

struct Batch {
  std::string employees;  // employee.dat at the start
  std::string transactions;
  std::vector<Op> ops;
};

std::string nameOf(int i) { return "Employee " + std::to_string(i); }

// Builds the files and, by applying the batch to a model of the records,
// the operations the floor replays.
// The numbers of the employees: 1 to n, or crafted.
enum class Numbers { kOrdinary, kCrafted, kCraftedShuffled };

Batch makeBatch(int n, int transactions, Numbers numbers = Numbers::kOrdinary) {
  Batch b;
  std::vector<Employee> recs(n);
  for (int i = 0; i < n; ++i) {
    Employee& e = recs[i];
    e.setName(nameOf(i + 1).c_str());
    e.setCategory(i % 2);
    e.setAmount(1000 + i);
    e.setDate(Date(1990 + i % 30, 1 + i % 12, 1 + i % 28));
  }
  // The model's records have no number of their own: it goes in here.
  auto encode = [](const Employee& e, std::int32_t id, unsigned char* out) {
    e.encode(out);
    le32::put(out, id);
  };
  std::vector<std::int32_t> ids(n);
  for (int i = 0; i < n; ++i) ids[i] = i + 1;
  if (numbers != Numbers::kOrdinary) {
    // Numbers that a fixed Fibonacci hash, the table's old one, sends to
    // the first 64 home slots of the table for n numbers (n / 64 of them
    // each, for n up to 2^17). Ascending, so that adds still take the
    // number after the last.
    std::uint32_t x = 1;
    for (int i = 0; i < n; ++i) {
      while ((std::uint64_t{x} * 0x9E3779B97F4A7C15u) >> 53 != 0) ++x;
      ids[i] = static_cast<std::int32_t>(x++);
    }
  }
  // Shuffled, the numbers no longer ascend, and look-ups go through the
  // table, whose hash they were crafted against.
  if (numbers == Numbers::kCraftedShuffled) {
    std::shuffle(ids.begin(), ids.end(), std::mt19937(7));
  }
  std::int32_t maxId = *std::max_element(ids.begin(), ids.end());
  for (int i = 0; i < n; ++i) {
    unsigned char r[kRecord];
    encode(recs[i], ids[i], r);
    b.employees.append(reinterpret_cast<char*>(r), kRecord);
  }

  std::mt19937 random(20261206);
  auto pick = [&] { return static_cast<int>(random() % recs.size()); };
  for (int t = 0; t < transactions; ++t) {
    const unsigned kind = random() % 10;  // 0-5 change, 6-7 add, 8-9 delete
    Op op{};
    std::string line;
    if (kind < 6) {
      const int i = pick();
      Employee& e = recs[i];
      const bool markers = random() % 3 == 0;
      const int amount = static_cast<int>(random() % 90000) + 1;
      const Date date(2000 + t % 99, 1 + t % 12, 1 + t % 28);
      const std::string name = "Changed " + std::to_string(t);
      if (markers) {  // only the amount changes
        line = "C " + std::to_string(ids[i]) + " \"\" * " +
               std::to_string(amount) + " 1901/1/1";
      } else {
        line = "C " + std::to_string(ids[i]) + " \"" + name + "\" H " +
               std::to_string(amount) + " " + std::to_string(date.getYear()) +
               "/" + std::to_string(date.getMonth()) + "/" +
               std::to_string(date.getDay());
        e.setName(name.c_str());
        e.setCategory(1);
        e.setDate(date);
      }
      e.setAmount(amount);
      op = Op{1, i * kRecord, {}};
      encode(e, ids[i], op.record);
    } else if (kind < 8) {
      Employee e;
      const std::string name = "New " + std::to_string(t);
      e.setName(name.c_str());
      e.setAmount(500 + t);
      e.setDate(Date(2010, 1 + t % 12, 1 + t % 28));
      line = "A \"" + name + "\" S " + std::to_string(500 + t) + " 2010/" +
             std::to_string(1 + t % 12) + "/" + std::to_string(1 + t % 28);
      recs.push_back(e);
      ids.push_back(++maxId);
      op = Op{0, static_cast<std::int32_t>(recs.size() - 1) * kRecord, {}};
      encode(e, ids.back(), op.record);
    } else {
      const int i = pick();
      recs[i].setDeleted(1);
      line = "D " + std::to_string(ids[i]);
      op = Op{1, i * kRecord, {}};
      encode(recs[i], ids[i], op.record);
    }
    b.transactions += line + "\n";
    b.ops.push_back(op);
  }
  return b;
}

struct Measure {
  double seconds;
  long peakKiB;
};

// Starts, times and waits for the runs. It is forked before the batches
// are built: a child's peak memory counts what it was forked from, so runs
// forked from this process once it holds a million-employee model would
// report that model as theirs.
class Runner {
 public:
  Runner() {
    int toRunner[2], fromRunner[2];
    if (::pipe(toRunner) != 0 || ::pipe(fromRunner) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(toRunner[1]);
      ::close(fromRunner[0]);
      serve(toRunner[0], fromRunner[1]);
      ::_exit(0);
    }
    ::close(toRunner[0]);
    ::close(fromRunner[1]);
    out_ = toRunner[1];
    in_ = fromRunner[0];
  }
  ~Runner() {
    ::close(out_);
    ::close(in_);
    ::waitpid(pid_, nullptr, 0);
  }

  // Runs `program` [argument] in `dir`: its wall time and peak memory.
  Measure run(const std::string& program, const fs::path& dir,
              const std::string& argument = "") {
    const std::string request =
        dir.string() + '\0' + program + '\0' + argument + '\0';
    const std::size_t n = request.size();
    if (::write(out_, &n, sizeof n) != sizeof n ||
        ::write(out_, request.data(), n) != static_cast<ssize_t>(n)) {
      std::abort();
    }
    Measure m{};
    int status = -1;
    if (::read(in_, &m, sizeof m) != sizeof m ||
        ::read(in_, &status, sizeof status) != sizeof status) {
      std::abort();
    }
    if (status != 0) {
      std::fprintf(stderr, "empbench: %s failed in %s\n", program.c_str(),
                   dir.c_str());
      std::exit(1);
    }
    return m;
  }

 private:
  static void serve(int in, int out) {
    std::size_t n = 0;
    while (::read(in, &n, sizeof n) == sizeof n) {
      std::string request(n, '\0');
      if (::read(in, request.data(), n) != static_cast<ssize_t>(n)) return;
      const char* dir = request.c_str();
      const char* program = dir + std::strlen(dir) + 1;
      const char* argument = program + std::strlen(program) + 1;
      const auto start = Clock::now();
      const pid_t pid = ::fork();
      if (pid == 0) {
        if (::chdir(dir) != 0) ::_exit(126);
        ::execl(program, program, *argument ? argument : nullptr,
                static_cast<char*>(nullptr));
        ::_exit(127);
      }
      int wstatus = 0;
      rusage usage{};
      ::wait4(pid, &wstatus, 0, &usage);
      const Measure m{
          std::chrono::duration<double>(Clock::now() - start).count(),
          usage.ru_maxrss};
      const int status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
      if (::write(out, &m, sizeof m) != sizeof m ||
          ::write(out, &status, sizeof status) != sizeof status) {
        return;
      }
    }
  }

  pid_t pid_;
  int out_, in_;
};

void put(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

std::string get(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct Case {
  int n, m;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "Usage: empbench EMPUPDATE EMPFLOOR [N:M ...]\n");
    return 2;
  }
  // Absolute: the runs change directory before they start them.
  const std::string empupdate = fs::absolute(argv[1]).string();
  const std::string empfloor = fs::absolute(argv[2]).string();
  Runner runner;
  std::vector<Case> cases;
  for (int i = 3; i < argc; ++i) {
    Case c{};
    if (std::sscanf(argv[i], "%d:%d", &c.n, &c.m) != 2) return 2;
    cases.push_back(c);
  }
  if (cases.empty()) {
    cases = {
        {1000, 20000}, {100000, 20000}, {1000000, 20000}, {100000, 200000}};
  }

  const fs::path work = fs::temp_directory_path() / "empbench";
  fs::remove_all(work);
  const fs::path run = work / "run", floor = work / "floor";
  fs::create_directories(run);
  fs::create_directories(floor);
  const fs::path ops = work / "ops";

  std::printf(
      "Whole runs, fastest of %d: start-up, indexing and the batch. The "
      "floor is a process making only the design's system calls.\n\n",
      kRuns);
  std::printf("%8s %7s | %9s %9s %6s | %8s %8s | %8s %8s %6s | %6s\n", "N", "M",
              "run ms", "floor ms", "ratio", "us/tx", "floor", "index", "read",
              "ratio", "B/empl");
  bool identical = true;
  long smallestKiB = 0;
  auto fastest = [](std::vector<double> v) {
    return *std::min_element(v.begin(), v.end());
  };
  auto measure = [&](const Batch& b, const std::string& transactions,
                     bool withOps, long* peak) {
    std::vector<double> mine, base;
    put(floor / "ops",
        withOps ? std::string(reinterpret_cast<const char*>(b.ops.data()),
                              b.ops.size() * sizeof(Op))
                : "");
    put(run / "emptrans.dat", transactions);
    for (int r = 0; r < kRuns; ++r) {
      put(run / "employee.dat", b.employees);
      put(floor / "employee.dat", b.employees);
      ::sync();  // no write-back of the copies during the timed runs
      // In turns, first one then the other, so that neither always runs
      // on caches the other warmed.
      for (int turn = 0; turn < 2; ++turn) {
        if ((turn + r) % 2 == 0) {
          const Measure e = runner.run(empupdate, run);
          mine.push_back(e.seconds);
          if (peak != nullptr) *peak = std::max(*peak, e.peakKiB);
        } else {
          base.push_back(
              runner
                  .run(empfloor, floor, withOps ? (floor / "ops").string() : "")
                  .seconds);
        }
      }
    }
    return std::pair{fastest(mine), fastest(base)};
  };
  for (const Case& c : cases) {
    const Batch b = makeBatch(c.n, c.m);
    long peak = 0;
    const auto [whole, wholeFloor] = measure(b, b.transactions, true, &peak);
    if (get(run / "employee.dat") != get(floor / "employee.dat")) {
      identical = false;
      std::printf("N = %d: empupdate and the floor left different files\n",
                  c.n);
    }
    const auto [index, read] = measure(b, "", false, nullptr);
    if (smallestKiB == 0) smallestKiB = peak;
    std::printf(
        "%8d %7d | %9.1f %9.1f %6.2f | %8.2f %8.2f | %8.1f %8.1f %6.2f | "
        "%6.1f\n",
        c.n, c.m, whole * 1e3, wholeFloor * 1e3, whole / wholeFloor,
        whole / c.m * 1e6, wholeFloor / c.m * 1e6, index * 1e3, read * 1e3,
        index / read, (peak - smallestKiB) * 1024.0 / c.n);
    std::fflush(stdout);
  }

  // The defence of the look-up table: numbers crafted to share home slots
  // under a fixed hash, against ordinary ones, in whole runs of a batch.
  const int n = 50000;
  std::printf("\n%d employees, %d transactions, whole runs:", n, 20000);
  for (const auto& [numbers, name] :
       {std::pair{Numbers::kOrdinary, "ordinary numbers"},
        std::pair{Numbers::kCrafted, "crafted, ascending"},
        std::pair{Numbers::kCraftedShuffled, "crafted, shuffled"}}) {
    const Batch b = makeBatch(n, 20000, numbers);
    std::printf(" %s %.1f ms;", name,
                measure(b, b.transactions, true, nullptr).first * 1e3);
  }
  std::printf("\n");
  fs::remove_all(work);
  std::printf("files byte-identical to the floor's: %s\n",
              identical ? "yes" : "NO");
  std::printf(
      "index: an empty batch, against one read of the file (read); B/empl: "
      "peak memory above that of the first case, per employee\n");
  return identical ? 0 : 1;
}
