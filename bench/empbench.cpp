// empbench: times whole runs of empupdate, as a user would (start-up,
// indexing and the batch), against the floor of its design.
//
// For each case it writes employee.dat with N employees, numbered 1 to N,
// in two orders: ascending (a file that only ever grew by adds) and
// shuffled (as after a merge or a sort by name), and emptrans.dat with M
// transactions (60% changes, some using the unchanged markers, 20% adds,
// 20% deletes; every change and delete names an employee that exists). Both
// orders touch the same records at the same positions. It runs empupdate
// on fresh copies of each, and empfloor, a process that makes only the
// system calls the design demands (the file read once; per record
// operation open, seek, read or write 60 bytes, close), in turns, with
// everything on disk before each timed run (the fresh copy and the writes
// of the run before), and prints the fastest of several runs of each,
// their ratios, the indexing alone (an empty batch) against one read of
// the file, the peak memory per employee, and a run that keeps a journal
// (--journal) against one that does not. It checks that every run
// leaves the file the batch must give, byte for byte, and times whole runs
// on files of numbers crafted against the look-up beside ordinary ones.
// For one run of each program on each case it also counts what the
// machine's load does not move: page faults, system calls (strace -c) and
// instructions (valgrind's callgrind), where those tools are installed.
//
// Usage: empbench EMPUPDATE EMPFLOOR [N:M ...]
//   (default 5000:300 100000:0 100000:2000 1000:20000 100000:20000
//    1000000:20000 100000:200000: the operator's daily batches, start-up
//    and indexing alone, then large batches)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "Employee.h"
#include "FloorOp.h"
#include "LittleEndian.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 5;
constexpr int kRecord = Employee::kRecordBytes;
using Op = FloorOp;

struct Batch {
  std::string employees;  // employee.dat at the start
  std::string transactions;
  std::vector<Op> ops;
  std::string after;  // employee.dat once the batch is applied
};

std::string nameOf(int i) { return "Employee " + std::to_string(i); }

// The numbers of the employees: 1 to N in file order or shuffled; three
// times those, shuffled (the largest the direct table still takes); or
// crafted against a hash.
enum class Numbers {
  kAscending,
  kShuffled,
  kSpreadShuffled,
  kCrafted,
  kCraftedShuffled
};

// Builds the files and, by applying the batch to a model of the records,
// the operations the floor replays and the file they leave.
Batch makeBatch(int n, int transactions, Numbers numbers) {
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
  for (int i = 0; i < n; ++i) {
    ids[i] = numbers == Numbers::kSpreadShuffled ? 3 * (i + 1) : i + 1;
  }
  if (numbers == Numbers::kCrafted || numbers == Numbers::kCraftedShuffled) {
    // Numbers that a fixed Fibonacci hash sends to the first 64 home slots
    // of a table for n numbers (n / 64 of them each, for n up to 2^17).
    std::uint32_t x = 1;
    for (int i = 0; i < n; ++i) {
      while ((std::uint64_t{x} * 0x9E3779B97F4A7C15u) >> 53 != 0) ++x;
      ids[i] = static_cast<std::int32_t>(x++);
    }
  }
  // Shuffled, the numbers no longer ascend, and look-ups go through a
  // table. The same records lie at the same positions in every order.
  if (numbers != Numbers::kAscending && numbers != Numbers::kCrafted) {
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
  b.after = b.employees;
  for (const Op& op : b.ops) {
    const std::string record(reinterpret_cast<const char*>(op.record), kRecord);
    if (static_cast<std::size_t>(op.offset) == b.after.size()) {
      b.after += record;
    } else {
      b.after.replace(op.offset, kRecord, record);
    }
  }
  return b;
}

struct Measure {
  double seconds;
  long peakKiB;
  long faults;  // minor and major page faults
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
          usage.ru_maxrss, usage.ru_minflt + usage.ru_majflt};
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

// One program timed on one batch in a directory of its own.
struct Contender {
  std::string program;
  fs::path dir;
  const Batch* batch;
  std::string argument;      // for the floor: its operations
  const std::string* after;  // the file it must leave, or null
};

// Runs each contender kRuns times, in turns whose order rotates, so that
// none always runs on caches another warmed. Before each timed run the
// contender gets a fresh copy of employee.dat, and sync() puts it and the
// writes of the run before on disk: no write-back falls inside a timed
// run. Returns the fastest run of each and its largest peak memory; clears
// `identical` when a contender leaves a file other than its `after`.
std::vector<Measure> race(Runner& runner, const std::vector<Contender>& cs,
                          bool& identical) {
  std::vector<Measure> best(cs.size(), Measure{1e9, 0, 0});
  for (int r = 0; r < kRuns; ++r) {
    for (std::size_t k = 0; k < cs.size(); ++k) {
      const std::size_t i = (k + r) % cs.size();
      const Contender& c = cs[i];
      put(c.dir / "employee.dat", c.batch->employees);
      fs::remove(c.dir / "j");  // a journal left would resume the batch
      ::sync();
      const Measure m = runner.run(c.program, c.dir, c.argument);
      best[i].seconds = std::min(best[i].seconds, m.seconds);
      best[i].peakKiB = std::max(best[i].peakKiB, m.peakKiB);
      best[i].faults = r == 0 ? m.faults : std::min(best[i].faults, m.faults);
      if (r == kRuns - 1 && c.after != nullptr &&
          get(c.dir / "employee.dat") != *c.after) {
        identical = false;
        std::printf("%s left a file other than the batch gives in %s\n",
                    c.program.c_str(), c.dir.c_str());
      }
    }
  }
  return best;
}

// One run of c under `tool`, which writes its report to `report`, on a
// fresh copy of employee.dat: word `at` (from 0) of the first line of the
// report that holds the word `key`, as a number, or -1.
long long countOf(const Contender& c, const std::string& tool,
                  const fs::path& report, const std::string& key,
                  std::size_t at) {
  put(c.dir / "employee.dat", c.batch->employees);
  fs::remove(c.dir / "j");
  const std::string command = "cd '" + c.dir.string() + "' && timeout 600 " +
                              tool + "'" + report.string() + "' '" + c.program +
                              "' " + c.argument + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return -1;
  std::ifstream in(report);
  for (std::string line; std::getline(in, line);) {
    std::istringstream stream(line);
    const std::vector<std::string> words{
        std::istream_iterator<std::string>(stream), {}};
    if (std::find(words.begin(), words.end(), key) != words.end()) {
      return at < words.size() ? std::atoll(words[at].c_str()) : -1;
    }
  }
  return -1;
}

bool installed(const char* tool) {
  return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1")
                         .c_str()) == 0;
}

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
    cases = {{5000, 300},     {100000, 0},      {100000, 2000},  {1000, 20000},
             {100000, 20000}, {1000000, 20000}, {100000, 200000}};
  }
  const bool strace = installed("strace"), valgrind = installed("valgrind");
  std::string counts;

  const fs::path work = fs::temp_directory_path() / "empbench";
  fs::remove_all(work);
  auto dir = [&work](const char* name) {
    fs::create_directories(work / name);
    return work / name;
  };
  const fs::path ops = work / "ops";
  bool identical = true;

  // The memory of a run on an empty file: what the employees add to it is
  // their cost.
  const Batch none;
  put(dir("empty") / "emptrans.dat", "");
  const long baseKiB =
      race(runner, {{empupdate, work / "empty", &none, "", nullptr}},
           identical)[0]
          .peakKiB;

  std::printf(
      "Whole runs, fastest of %d, each on files synced to disk: start-up, "
      "indexing and the batch. The floor is a process making only the "
      "design's system calls.\n\n",
      kRuns);
  std::printf(
      "%8s %7s | %8s | %8s %5s | %8s %5s | %6s %6s %5s | %5s %5s | %8s %5s\n",
      "", "", "floor", "ascend.", "", "shuffled", "", "index", "read", "",
      "B/em", "B/em", "journal", "");
  std::printf(
      "%8s %7s | %8s | %8s %5s | %8s %5s | %6s %6s %5s | %5s %5s | %8s %5s\n",
      "N", "M", "ms", "ms", "ratio", "ms", "ratio", "ms", "ms", "ratio",
      "asc.", "shuf.", "ms", "/asc.");
  for (const Case& c : cases) {
    const Batch ascending = makeBatch(c.n, c.m, Numbers::kAscending);
    const Batch shuffled = makeBatch(c.n, c.m, Numbers::kShuffled);
    put(ops, std::string(reinterpret_cast<const char*>(ascending.ops.data()),
                         ascending.ops.size() * sizeof(Op)));
    put(dir("ascending") / "emptrans.dat", ascending.transactions);
    put(dir("shuffled") / "emptrans.dat", shuffled.transactions);
    put(dir("index") / "emptrans.dat", "");
    put(dir("journal") / "emptrans.dat", ascending.transactions);
    dir("floor");
    dir("read");
    // Both orders touch the same positions: one floor serves both.
    const std::vector<Measure> m = race(
        runner,
        {{empfloor, work / "floor", &ascending, ops.string(), &ascending.after},
         {empupdate, work / "ascending", &ascending, "", &ascending.after},
         {empupdate, work / "shuffled", &shuffled, "", &shuffled.after},
         {empupdate, work / "index", &ascending, "", &ascending.employees},
         {empfloor, work / "read", &ascending, "", nullptr},
         {empupdate, work / "journal", &ascending, "--journal=j",
          &ascending.after}},
        identical);
    auto perEmployee = [&](const Measure& x) {
      return (x.peakKiB - baseKiB) * 1024.0 / c.n;
    };
    std::printf(
        "%8d %7d | %8.1f | %8.1f %5.2f | %8.1f %5.2f | %6.1f %6.1f %5.2f | "
        "%5.1f %5.1f | %8.1f %5.2f\n",
        c.n, c.m, m[0].seconds * 1e3, m[1].seconds * 1e3,
        m[1].seconds / m[0].seconds, m[2].seconds * 1e3,
        m[2].seconds / m[0].seconds, m[3].seconds * 1e3, m[4].seconds * 1e3,
        m[3].seconds / m[4].seconds, perEmployee(m[1]), perEmployee(m[2]),
        m[5].seconds * 1e3, m[5].seconds / m[1].seconds);
    std::fflush(stdout);
    // The floor, then both orders: faults of the fastest run, then calls
    // and instructions, each of a run of its own.
    char row[200];
    std::snprintf(row, sizeof row, "%8d %7d |", c.n, c.m);
    counts += row;
    const Contender counted[] = {
        {empfloor, work / "floor", &ascending, ops.string(), nullptr},
        {empupdate, work / "ascending", &ascending, "", nullptr},
        {empupdate, work / "shuffled", &shuffled, "", nullptr},
        {empupdate, work / "journal", &ascending, "--journal=j", nullptr}};
    for (int k = 0; k < 4; ++k) {
      const long faults = k < 3 ? m[k].faults : m[5].faults;
      const long long calls = strace ? countOf(counted[k], "strace -c -o ",
                                               work / "strace.txt", "total", 3)
                                     : -1;
      const long long instructions =
          valgrind ? countOf(counted[k],
                             "valgrind --tool=callgrind --callgrind-out-file=",
                             work / "callgrind.txt", "summary:", 1)
                   : -1;
      std::snprintf(row, sizeof row, " %7ld %7lld %9.2f |", faults, calls,
                    instructions < 0 ? -1 : instructions / 1e6);
      counts += row;
    }
    counts += "\n";
  }
  std::printf(
      "\nCounts of one run, which the machine's load does not move: page "
      "faults (of the fastest run), system calls (strace -c) and "
      "instructions in millions (callgrind); -1 where the tool is "
      "missing.\n\n%8s %7s | %-25s | %-25s | %-25s | %-25s\n%8s %7s |%s\n%s",
      "", "", " floor", " ascending", " shuffled", " ascending, journal", "N",
      "M",
      " faults   calls     instr. | faults   calls     instr. | faults "
      "  calls     instr. | faults   calls     instr. |",
      counts.c_str());

  // Numbers chosen against the look-up, beside ordinary ones, in whole runs
  // of a batch: against a fixed hash (sparse numbers, ascending and
  // shuffled) and at the largest spread the direct table still takes.
  const int n = 50000, m = 20000;
  std::printf(
      "\n%d employees, %d transactions, whole runs (ms, and against "
      "ordinary ascending numbers):\n",
      n, m);
  const std::pair<Numbers, const char*> kinds[] = {
      {Numbers::kAscending, "1 to N ascending"},
      {Numbers::kShuffled, "1 to N shuffled"},
      {Numbers::kSpreadShuffled, "3 to 3N shuffled"},
      {Numbers::kCrafted, "crafted ascending"},
      {Numbers::kCraftedShuffled, "crafted shuffled"}};
  std::vector<Batch> batches;
  std::vector<Contender> cs;
  for (const auto& [numbers, name] : kinds) {
    batches.push_back(makeBatch(n, m, numbers));
  }
  for (std::size_t k = 0; k < batches.size(); ++k) {
    const fs::path d = dir(kinds[k].second);
    put(d / "emptrans.dat", batches[k].transactions);
    cs.push_back({empupdate, d, &batches[k], "", &batches[k].after});
  }
  const std::vector<Measure> times = race(runner, cs, identical);
  for (std::size_t k = 0; k < times.size(); ++k) {
    std::printf("  %-18s %7.1f %5.2f\n", kinds[k].second,
                times[k].seconds * 1e3, times[k].seconds / times[0].seconds);
  }
  fs::remove_all(work);
  std::printf("files byte-identical to the batch's: %s\n",
              identical ? "yes" : "NO");
  std::printf(
      "index: an empty batch, against one read of the file (read); B/em: "
      "peak memory above that of a run on an empty file, per employee\n");
  return identical ? 0 : 1;
}
