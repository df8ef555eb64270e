// empbench: measures empupdate against the floor of its design.
//
// For each N it writes employee.dat with N employees and emptrans.dat with M
// transactions (60% changes, some using the unchanged markers, 20% adds,
// 20% deletes; every change and delete names an employee that exists),
// runs empupdate on scratch copies, and prints the median time per
// transaction, the indexing time and the peak memory. Beside them it
// prints the same for a floor: this program replaying the same record
// operations with only the system calls the design demands (per record:
// open, seek, read or write 60 bytes, close; the indexing as one read of
// the file), and checks that both leave byte-identical files.
//
// Usage: empbench EMPUPDATE [N ...]   (default N: 1000 10000 100000 1000000)
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
#include <vector>

#include "Employee.h"
#include "LittleEndian.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kTransactions = 20000;
constexpr int kRuns = 7;
constexpr int kRecord = Employee::kRecordBytes;

struct Op {
  bool load;  // a change or delete reads its record first
  std::int32_t offset;
  unsigned char record[kRecord];  // the record written
};

struct Batch {
  std::string employees;  // employee.dat at the start
  std::string transactions;
  std::vector<Op> ops;
};

std::string nameOf(int i) { return "Employee " + std::to_string(i); }

// Builds the files and, by applying the batch to a model of the records,
// the operations the floor replays.
Batch makeBatch(int n) {
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
  for (int i = 0; i < n; ++i) {
    unsigned char r[kRecord];
    encode(recs[i], ids[i], r);
    b.employees.append(reinterpret_cast<char*>(r), kRecord);
  }

  std::mt19937 random(20261206);
  auto pick = [&] { return static_cast<int>(random() % recs.size()); };
  for (int t = 0; t < kTransactions; ++t) {
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
      op = Op{true, i * kRecord, {}};
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
      ids.push_back(ids.back() + 1);
      op = Op{false, static_cast<std::int32_t>(recs.size() - 1) * kRecord, {}};
      encode(e, ids.back(), op.record);
    } else {
      const int i = pick();
      recs[i].setDeleted(1);
      line = "D " + std::to_string(ids[i]);
      op = Op{true, i * kRecord, {}};
      encode(recs[i], ids[i], op.record);
    }
    b.transactions += line + "\n";
    b.ops.push_back(op);
  }
  return b;
}

void put(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

std::string get(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct Measure {
  double seconds;
  long peakKiB;
};

// Starts, times and waits for the runs of empupdate. It is forked before
// the batches are built: a child's peak memory counts what it was forked
// from, so runs forked from this process once it holds a million-employee
// model would report that model as theirs.
class Runner {
 public:
  explicit Runner(const char* empupdate) {
    int toRunner[2], fromRunner[2];
    if (::pipe(toRunner) != 0 || ::pipe(fromRunner) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(toRunner[1]);
      ::close(fromRunner[0]);
      serve(empupdate, toRunner[0], fromRunner[1]);
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

  // Runs empupdate in `dir`: its wall time and peak memory.
  Measure run(const fs::path& dir) {
    const std::string d = dir.string();
    const std::size_t n = d.size();
    if (::write(out_, &n, sizeof n) != sizeof n ||
        ::write(out_, d.data(), n) != static_cast<ssize_t>(n)) {
      std::abort();
    }
    Measure m{};
    int status = -1;
    if (::read(in_, &m, sizeof m) != sizeof m ||
        ::read(in_, &status, sizeof status) != sizeof status) {
      std::abort();
    }
    if (status != 0) {
      std::fprintf(stderr, "empbench: empupdate failed in %s\n", d.c_str());
      std::exit(1);
    }
    return m;
  }

 private:
  static void serve(const char* empupdate, int in, int out) {
    std::size_t n = 0;
    while (::read(in, &n, sizeof n) == sizeof n) {
      std::string dir(n, '\0');
      if (::read(in, dir.data(), n) != static_cast<ssize_t>(n)) return;
      const auto start = Clock::now();
      const pid_t pid = ::fork();
      if (pid == 0) {
        if (::chdir(dir.c_str()) != 0) ::_exit(126);
        ::execl(empupdate, "empupdate", static_cast<char*>(nullptr));
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

// The floor of the indexing: the whole file read once.
double floorIndex(const fs::path& file) {
  const auto start = Clock::now();
  const int fd = ::open(file.c_str(), O_RDONLY);
  std::vector<char> block(1 << 20);
  while (::read(fd, block.data(), block.size()) > 0) {
  }
  ::close(fd);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The floor of the batch: per record operation a fresh open, a seek, the
// read or write of 60 bytes, and the close.
double floorBatch(const fs::path& file, const std::vector<Op>& ops) {
  const auto start = Clock::now();
  char buf[kRecord];
  for (const Op& op : ops) {
    if (op.load) {
      const int fd = ::open(file.c_str(), O_RDONLY);
      ::lseek(fd, op.offset, SEEK_SET);
      if (::read(fd, buf, kRecord) != kRecord) std::abort();
      ::close(fd);
    }
    const int fd = ::open(file.c_str(), O_WRONLY);
    ::lseek(fd, op.offset, SEEK_SET);
    if (::write(fd, op.record, kRecord) != kRecord) std::abort();
    ::close(fd);
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: empbench EMPUPDATE [N ...]\n");
    return 2;
  }
  // Absolute: the runs change directory before they start it.
  const std::string program = fs::absolute(argv[1]).string();
  Runner runner(program.c_str());
  std::vector<int> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000, 100000, 1000000};

  const fs::path work = fs::temp_directory_path() / "empbench";
  fs::remove_all(work);
  // Start-up alone: a run on empty files, taken off the indexing time.
  const fs::path idle = work / "idle";
  fs::create_directories(idle);
  std::vector<double> startups;
  for (int r = 0; r < 3 * kRuns; ++r) {
    put(idle / "employee.dat", "");
    put(idle / "emptrans.dat", "");
    startups.push_back(runner.run(idle).seconds);
  }
  const double startup = median(startups);
  std::printf(
      "M = %d transactions, median of %d runs; start-up (%.2f ms) is "
      "taken off the indexing, start-up and indexing off the time "
      "per transaction\n\n",
      kTransactions, kRuns, startup * 1e3);
  std::printf("%9s | %9s %9s %6s | %9s %9s %6s | %9s %8s\n", "N", "us/trans",
              "floor", "ratio", "index ms", "floor", "ratio", "peak MiB",
              "B/empl");
  bool identical = true;
  long baseKiB = 0;
  for (int n : sizes) {
    const Batch b = makeBatch(n);
    const fs::path full = work / "full", empty = work / "empty",
                   floor = work / "floor";
    for (const auto& d : {full, empty, floor}) fs::create_directories(d);
    put(full / "emptrans.dat", b.transactions);
    put(empty / "emptrans.dat", "");
    std::vector<double> whole, index, floorTrans, floorIdx;
    long peak = 0;
    for (int r = 0; r < kRuns; ++r) {
      put(full / "employee.dat", b.employees);
      put(empty / "employee.dat", b.employees);
      put(floor / "employee.dat", b.employees);
      ::sync();  // no write-back of the copies during the timed runs
      const Measure e = runner.run(empty);
      const Measure f = runner.run(full);
      index.push_back(e.seconds - startup);
      whole.push_back(f.seconds - startup);
      peak = std::max(peak, f.peakKiB);
      floorIdx.push_back(floorIndex(floor / "employee.dat"));
      floorTrans.push_back(floorBatch(floor / "employee.dat", b.ops) /
                           kTransactions);
    }
    if (get(full / "employee.dat") != get(floor / "employee.dat")) {
      identical = false;
      std::printf("N = %d: empupdate and the floor left different files\n", n);
    }
    if (baseKiB == 0) baseKiB = peak;
    // Medians first, then the difference: the indexing of a large file
    // varies by milliseconds from run to run.
    const double us = (median(whole) - median(index)) / kTransactions * 1e6;
    const double fus = median(floorTrans) * 1e6;
    const double ms = median(index) * 1e3, fms = median(floorIdx) * 1e3;
    std::printf("%9d | %9.2f %9.2f %6.2f | %9.1f %9.1f %6.1f | %9.1f %8.1f\n",
                n, us, fus, us / fus, ms, fms, ms / fms, peak / 1024.0,
                n > sizes.front() ? (peak - baseKiB) * 1024.0 / n : 0.0);
    std::fflush(stdout);
  }
  fs::remove_all(work);
  std::printf("\nfiles byte-identical to the floor's: %s\n",
              identical ? "yes" : "NO");
  std::printf(
      "B/empl: peak memory above that of the smallest N, per "
      "employee\n");
  return identical ? 0 : 1;
}
