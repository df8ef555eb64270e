// empbench: times whole runs of empupdate, as a user would (start-up,
// indexing and the batch), against the floor of its design.
//
// For each case it writes employee.dat with N employees, numbered 1 to N,
// in two orders: ascending (a file that only ever grew by adds) and
// shuffled (as after a merge or a sort by name), and emptrans.dat with M
// transactions (60% changes, some using the unchanged markers, 20% adds,
// 20% deletes; every change and delete names an employee that exists). Both
// orders touch the same records at the same positions. It runs empupdate
// on each, and two floors: empfloor, a process that makes only the system
// calls the design demands (the file read once; per record operation open,
// seek, read or write 60 bytes, close), and empfloor --index, which also
// stores the design's index in the same pass. They take turns, with
// everything on disk before each timed run (the file put back as the batch
// finds it, and the writes of the run before; memory touched just before,
// as a busy machine has it), and it prints the fastest
// of several runs of each and their ratios; then the indexing alone (an
// empty batch) against one read of the file, the peak memory per employee,
// a run that keeps a journal (--journal) against one that does not, and,
// given empcheck, the dry run against the run. It checks that every run
// leaves the file the batch must give, byte for byte, and times whole runs
// on files of numbers crafted against the look-up beside ordinary ones.
// For one run of each program on each case it also counts what the
// machine's load does not move: page faults, system calls (strace -c) and
// instructions (valgrind's callgrind), where those tools are installed.
//
// Usage: empbench [--runs=K] [--no-counts] [--empcheck=PATH]
//                 EMPUPDATE EMPFLOOR [N:M ...]
//   (default 5000:300 100000:0 100000:2000, the operator's daily batches,
//    start-up and indexing alone; then 20k and 200k transactions on 1k,
//    100k, 1M, 10M and 35M employees, the last near the format's 2 GiB.
//    The files are written under TMPDIR: about 4.3 GB at 35M.)
#include <fcntl.h>
#include <sys/mman.h>
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
#include "Hash64.h"
#include "LittleEndian.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRecord = Employee::kRecordBytes;
using Op = FloorOp;

void put(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// A batch and the files it works on. employee.dat is written once, to
// `file`; before each run the file is put back as it was by writing the
// records the batch changed back, last first, and cutting off what it
// added, so that a 2 GiB file costs a few thousand writes, not a copy.
struct Batch {
  fs::path file;                    // employee.dat as the batch finds it
  std::int64_t size = 0;            // its size
  std::uint64_t before = 0;         // its hash
  std::uint64_t after = 0;          // the hash of the file the batch leaves
  std::string transactions;         // emptrans.dat
  std::vector<Op> ops;              // what the batch writes, in order
  std::vector<std::string> former;  // what each op wrote over
};

std::string nameOf(int i) { return "Employee " + std::to_string(i); }

std::uint64_t hashOf(const std::string& bytes) {
  return Hash64::of(bytes.data(), bytes.size());
}

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

// Writes `file` and, by applying the batch to a model of the records (the
// file's bytes in memory, given back once the batch is made), the
// operations the floor replays and the hash of the file they leave.
Batch makeBatch(int n, int transactions, Numbers numbers,
                const fs::path& file) {
  Batch b;
  b.file = file;
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
  std::int32_t maxId =
      ids.empty() ? 0 : *std::max_element(ids.begin(), ids.end());
  std::string bytes(std::size_t(n) * kRecord, '\0');
  for (int i = 0; i < n; ++i) {
    Employee e;
    e.setName(nameOf(i + 1).c_str());
    e.setCategory(i % 2);
    e.setAmount(1000 + i);
    e.setDate(Date(1990 + i % 30, 1 + i % 12, 1 + i % 28));
    e.encode(
        reinterpret_cast<unsigned char*>(&bytes[std::size_t(i) * kRecord]));
    le32::put(
        reinterpret_cast<unsigned char*>(&bytes[std::size_t(i) * kRecord]),
        ids[i]);
  }
  put(file, bytes);
  b.size = static_cast<std::int64_t>(bytes.size());
  b.before = hashOf(bytes);

  std::mt19937 random(20261206);
  auto pick = [&] { return static_cast<int>(random() % ids.size()); };
  // Writes op's record over the model, keeping what was there.
  auto apply = [&](Op op) {
    const auto at = static_cast<std::size_t>(op.offset);
    const std::string record(reinterpret_cast<const char*>(op.record), kRecord);
    b.former.push_back(bytes.substr(at, kRecord));
    if (at == bytes.size()) {
      bytes += record;
    } else {
      bytes.replace(at, kRecord, record);
    }
    b.ops.push_back(op);
  };
  auto recordAt = [&](int i) {
    Employee e;
    e.decode(reinterpret_cast<const unsigned char*>(
                 &bytes[std::size_t(i) * kRecord]),
             kRecord);
    return e;
  };
  for (int t = 0; t < transactions; ++t) {
    const unsigned kind = random() % 10;  // 0-5 change, 6-7 add, 8-9 delete
    Op op{};
    std::string line;
    if (kind < 6) {
      const int i = pick();
      Employee e = recordAt(i);
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
      e.encode(op.record);
    } else if (kind < 8) {
      Employee e;
      const std::string name = "New " + std::to_string(t);
      e.setName(name.c_str());
      e.setAmount(500 + t);
      e.setDate(Date(2010, 1 + t % 12, 1 + t % 28));
      line = "A \"" + name + "\" S " + std::to_string(500 + t) + " 2010/" +
             std::to_string(1 + t % 12) + "/" + std::to_string(1 + t % 28);
      ids.push_back(++maxId);
      op = Op{0, static_cast<std::int32_t>(ids.size() - 1) * kRecord, {}};
      e.encode(op.record);
      le32::put(op.record, ids.back());
    } else {
      const int i = pick();
      Employee e = recordAt(i);
      e.setDeleted(1);
      line = "D " + std::to_string(ids[i]);
      op = Op{1, i * kRecord, {}};
      e.encode(op.record);
    }
    b.transactions += line + "\n";
    apply(op);
  }
  b.after = hashOf(bytes);
  return b;
}

// Puts b's file back as the batch finds it, from any state a run of it
// left.
void restore(const Batch& b) {
  const int fd = ::open(b.file.c_str(), O_WRONLY);
  if (fd < 0) std::abort();
  for (std::size_t k = b.ops.size(); k-- > 0;) {
    if (b.ops[k].offset >= b.size) continue;  // an add: cut off below
    if (::pwrite(fd, b.former[k].data(), kRecord, b.ops[k].offset) != kRecord) {
      std::abort();
    }
  }
  if (::ftruncate(fd, b.size) != 0) std::abort();
  ::close(fd);
}

// The hash of the file at `p`, read in pieces.
std::uint64_t hashFile(const fs::path& p) {
  Hash64 h;
  std::ifstream in(p, std::ios::binary);
  std::vector<char> piece(1 << 20);
  while (in.read(piece.data(), std::streamsize(piece.size())) ||
         in.gcount() > 0) {
    h.add(piece.data(), static_cast<std::size_t>(in.gcount()));
  }
  return h.value();
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

  // Each run from now on is preceded by a touch of `bytes` of memory.
  void warm(std::size_t bytes) { warm_ = bytes; }

  // Runs `program` with `arguments` in `dir`: its wall time and peak memory.
  // A run that ends with any status but 0 and `allowed` ends the benchmark.
  Measure run(const std::string& program, const fs::path& dir,
              const std::vector<std::string>& arguments, int allowed) {
    std::string request =
        std::to_string(warm_) + '\0' + dir.string() + '\0' + program + '\0';
    for (const std::string& a : arguments) request += a + '\0';
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
    if (status != 0 && status != allowed) {
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
      // The memory to warm, dir, then the program and its arguments, each
      // ended by a NUL.
      std::vector<char*> words;
      for (std::size_t at = 0; at < n; at += std::strlen(&request[at]) + 1) {
        words.push_back(&request[at]);
      }
      touch(std::strtoull(words[0], nullptr, 10));
      const char* dir = words[1];
      words.push_back(nullptr);
      const auto start = Clock::now();
      const pid_t pid = ::fork();
      if (pid == 0) {
        // What a dry run reports is not what is timed.
        const int null = ::open("/dev/null", O_WRONLY);
        if (::chdir(dir) != 0 || null < 0 || ::dup2(null, 1) < 0) ::_exit(126);
        ::execv(words[2], words.data() + 2);
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

  // A virtual machine's kernel may hand memory that lies idle back to its
  // host, which must supply it anew at its next first touch: on the one
  // these figures were first made on, memory idle for a few seconds cost
  // 1.5 to 2.4 ms a MB to touch again, against 0.05 a moment after use, and
  // a run at 35M employees took twice its time. Every run is preceded by a
  // touch of as much memory as it may use, given back at once, so that
  // each program finds memory as a busy machine has it, whatever the pause
  // before it.
  static void touch(std::size_t bytes) {
    if (bytes == 0) return;
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return;
    ::madvise(p, bytes, MADV_HUGEPAGE);
    for (std::size_t at = 0; at < bytes; at += 4096) {
      static_cast<volatile char*>(p)[at] = 1;
    }
    ::munmap(p, bytes);
  }

  pid_t pid_;
  int out_, in_;
  std::size_t warm_ = 0;
};

struct Case {
  int n, m;
};

// One program timed on one batch in a directory of its own, whose
// employee.dat is a link to the batch's file.
struct Contender {
  std::string program;
  fs::path dir;
  const Batch* batch;
  std::vector<std::string> arguments;
  std::uint64_t leaves;  // the hash of the file it must leave
  int allowed = 0;       // a status other than 0 that is no failure
};

// Runs each contender `runs` times, in turns whose order rotates, so that
// none always runs on caches another warmed. Before each timed run the
// contender's file is put back as the batch finds it, and sync() puts that
// and the writes of the run before on disk: no write-back falls inside a
// timed run. Returns the fastest run of each and its largest peak memory;
// clears `identical` when a contender leaves a file other than it must.
std::vector<Measure> race(Runner& runner, const std::vector<Contender>& cs,
                          int runs, bool& identical) {
  std::vector<Measure> best(cs.size(), Measure{1e9, 0, 0});
  for (int r = 0; r < runs; ++r) {
    for (std::size_t k = 0; k < cs.size(); ++k) {
      const std::size_t i = (k + r) % cs.size();
      const Contender& c = cs[i];
      restore(*c.batch);
      fs::remove(c.dir / "j");  // a journal left would resume the batch
      ::sync();
      const Measure m = runner.run(c.program, c.dir, c.arguments, c.allowed);
      best[i].seconds = std::min(best[i].seconds, m.seconds);
      best[i].peakKiB = std::max(best[i].peakKiB, m.peakKiB);
      best[i].faults = r == 0 ? m.faults : std::min(best[i].faults, m.faults);
      if (r == runs - 1 && hashFile(c.batch->file) != c.leaves) {
        identical = false;
        std::printf("%s left a file other than the batch gives in %s\n",
                    c.program.c_str(), c.dir.c_str());
      }
    }
  }
  return best;
}

// One run of c under `tool`, which writes its report to `report`, on the
// file as the batch finds it: word `at` (from 0) of the first line of the
// report that holds the word `key`, as a number, or -1.
long long countOf(const Contender& c, const std::string& tool,
                  const fs::path& report, const std::string& key,
                  std::size_t at) {
  restore(*c.batch);
  fs::remove(c.dir / "j");
  std::string command = "cd '" + c.dir.string() + "' && timeout 1800 " + tool +
                        "'" + report.string() + "' '" + c.program + "'";
  for (const std::string& a : c.arguments) command += " '" + a + "'";
  command += " >/dev/null 2>&1";
  // empcheck's statuses 3 and 4 foretell a run; only a count that could
  // not be made is none.
  const int status = std::system(command.c_str());
  if (!WIFEXITED(status) || WEXITSTATUS(status) >= 64) return -1;
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

// A directory of `work` named `name`, its employee.dat a link to b's file.
fs::path linkedDir(const fs::path& work, const std::string& name,
                   const Batch& b, const std::string& transactions) {
  const fs::path d = work / name;
  fs::create_directories(d);
  fs::remove(d / "employee.dat");
  fs::create_hard_link(b.file, d / "employee.dat");
  put(d / "emptrans.dat", transactions);
  return d;
}

std::string ms(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds * 1e3);
  return text;
}

std::string ratio(double a, double b) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", a / b);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  bool counting = true;
  std::string empcheck;
  int arg = 1;
  for (; arg < argc && std::strncmp(argv[arg], "--", 2) == 0; ++arg) {
    if (std::strncmp(argv[arg], "--runs=", 7) == 0) {
      runs = std::max(1, std::atoi(argv[arg] + 7));
    } else if (std::strcmp(argv[arg], "--no-counts") == 0) {
      counting = false;
    } else if (std::strncmp(argv[arg], "--empcheck=", 11) == 0) {
      empcheck = fs::absolute(argv[arg] + 11).string();
    } else {
      argc = 0;
    }
  }
  if (argc - arg < 2) {
    std::fprintf(stderr,
                 "Usage: empbench [--runs=K] [--no-counts] [--empcheck=PATH] "
                 "EMPUPDATE EMPFLOOR [N:M ...]\n");
    return 2;
  }
  // Absolute: the runs change directory before they start them.
  const std::string empupdate = fs::absolute(argv[arg]).string();
  const std::string empfloor = fs::absolute(argv[arg + 1]).string();
  Runner runner;
  std::vector<Case> cases;
  for (int i = arg + 2; i < argc; ++i) {
    Case c{};
    if (std::sscanf(argv[i], "%d:%d", &c.n, &c.m) != 2) return 2;
    cases.push_back(c);
  }
  if (cases.empty()) {
    cases = {{5000, 300},       {100000, 0},        {100000, 2000},
             {1000, 20000},     {1000, 200000},     {100000, 20000},
             {100000, 200000},  {1000000, 20000},   {1000000, 200000},
             {10000000, 20000}, {10000000, 200000}, {35000000, 20000},
             {35000000, 200000}};
  }
  const bool strace = counting && installed("strace");
  const bool valgrind = counting && installed("valgrind");
  std::string more, counts;

  const fs::path work = fs::temp_directory_path() / "empbench";
  fs::remove_all(work);
  fs::create_directories(work);
  const fs::path ops = work / "ops";
  bool identical = true;

  // The memory of a run on an empty file: what the employees add to it is
  // their cost.
  const Batch none = makeBatch(0, 0, Numbers::kAscending, work / "none.dat");
  const long baseKiB = race(runner,
                            {{empupdate,
                              linkedDir(work, "empty", none, ""),
                              &none,
                              {},
                              none.before}},
                            1, identical)[0]
                           .peakKiB;

  std::printf(
      "Whole runs, fastest of %d, each on files synced to disk: start-up, "
      "indexing and the batch, in ms, and against two floors: a process "
      "making only the design's system calls (floor), and one that also "
      "stores the design's index, 8 bytes an employee, in the same pass "
      "(+index).\n\n",
      runs);
  std::printf("%9s %7s | %8s %8s | %8s %5s %6s | %8s %5s %6s\n", "", "",
              "floor", "+index", "ascend.", "", "", "shuffled", "", "");
  std::printf("%9s %7s | %8s %8s | %8s %5s %6s | %8s %5s %6s\n", "N", "M", "ms",
              "ms", "ms", "floor", "+index", "ms", "floor", "+index");
  for (const Case& c : cases) {
    // The index and the look-up table, 12 bytes an employee, and room to
    // spare.
    runner.warm(std::size_t(c.n) * 16 + (64 << 20));
    const Batch ascending =
        makeBatch(c.n, c.m, Numbers::kAscending, work / "ascending.dat");
    const Batch shuffled =
        makeBatch(c.n, c.m, Numbers::kShuffled, work / "shuffled.dat");
    put(ops, std::string(reinterpret_cast<const char*>(ascending.ops.data()),
                         ascending.ops.size() * sizeof(Op)));
    const std::string& text = ascending.transactions;
    std::vector<Contender> cs = {
        {empfloor,
         linkedDir(work, "floor", ascending, ""),
         &ascending,
         {ops.string()},
         ascending.after},
        {empfloor,
         linkedDir(work, "floor-index", ascending, ""),
         &ascending,
         {"--index", ops.string()},
         ascending.after},
        {empupdate,
         linkedDir(work, "ascending", ascending, text),
         &ascending,
         {},
         ascending.after},
        {empupdate,
         linkedDir(work, "shuffled", shuffled, shuffled.transactions),
         &shuffled,
         {},
         shuffled.after},
        {empupdate,
         linkedDir(work, "index", ascending, ""),
         &ascending,
         {},
         ascending.before},
        {empfloor,
         linkedDir(work, "read", ascending, ""),
         &ascending,
         {},
         ascending.before},
        {empupdate,
         linkedDir(work, "journal", ascending, text),
         &ascending,
         {"--journal=j"},
         ascending.after}};
    if (!empcheck.empty()) {
      // A dry run changes nothing: in the directories of the runs.
      // Its status 4: the batch changes deleted employees, with warnings.
      cs.push_back(
          {empcheck, work / "ascending", &ascending, {}, ascending.before, 4});
      cs.push_back(
          {empcheck, work / "shuffled", &shuffled, {}, shuffled.before, 4});
    }
    const std::vector<Measure> m = race(runner, cs, runs, identical);
    const double floor = m[0].seconds, withIndex = m[1].seconds;
    std::printf("%9d %7d | %8s %8s | %8s %5s %6s | %8s %5s %6s\n", c.n, c.m,
                ms(floor).c_str(), ms(withIndex).c_str(),
                ms(m[2].seconds).c_str(), ratio(m[2].seconds, floor).c_str(),
                ratio(m[2].seconds, withIndex).c_str(),
                ms(m[3].seconds).c_str(), ratio(m[3].seconds, floor).c_str(),
                ratio(m[3].seconds, withIndex).c_str());
    std::fflush(stdout);
    auto perEmployee = [&](const Measure& x) {
      char text[32];
      std::snprintf(text, sizeof text, "%.1f",
                    (x.peakKiB - baseKiB) * 1024.0 / c.n);
      return std::string(text);
    };
    char row[300];
    std::snprintf(
        row, sizeof row, "%9d %7d | %8s %8s %5s | %5s %5s | %8s %5s |", c.n,
        c.m, ms(m[4].seconds).c_str(), ms(m[5].seconds).c_str(),
        ratio(m[4].seconds, m[5].seconds).c_str(), perEmployee(m[2]).c_str(),
        perEmployee(m[3]).c_str(), ms(m[6].seconds).c_str(),
        ratio(m[6].seconds, m[2].seconds).c_str());
    more += row;
    if (!empcheck.empty()) {
      std::snprintf(
          row, sizeof row, " %8s %5s %8s %5s | %5s %5s",
          ms(m[7].seconds).c_str(), ratio(m[7].seconds, m[2].seconds).c_str(),
          ms(m[8].seconds).c_str(), ratio(m[8].seconds, m[3].seconds).c_str(),
          perEmployee(m[7]).c_str(), perEmployee(m[8]).c_str());
      more += row;
    }
    more += "\n";
    // The floors, then both orders and the journal: faults of the fastest
    // run, then calls and instructions, each of a run of its own.
    std::snprintf(row, sizeof row, "%9d %7d |", c.n, c.m);
    counts += row;
    for (const std::size_t k : {0, 1, 2, 3, 6}) {
      const long long calls = strace ? countOf(cs[k], "strace -c -o ",
                                               work / "strace.txt", "total", 3)
                                     : -1;
      const long long instructions =
          valgrind ? countOf(cs[k],
                             "valgrind --tool=callgrind --callgrind-out-file=",
                             work / "callgrind.txt", "summary:", 1)
                   : -1;
      std::snprintf(row, sizeof row, " %7ld %8lld %9.2f |", m[k].faults, calls,
                    instructions < 0 ? -1 : instructions / 1e6);
      counts += row;
    }
    counts += "\n";
  }
  std::printf(
      "\nIndexing alone (an empty batch) against one read of the file; peak "
      "memory above that of a run on an empty file, bytes per employee; a "
      "run keeping a journal against one that does not%s.\n\n",
      empcheck.empty() ? "" : "; the dry run (empcheck) against the run");
  std::printf(
      "%9s %7s | %8s %8s %5s | %5s %5s | %8s %5s |%s\n", "", "", "index",
      "read", "", "B/em", "B/em", "journal", "",
      empcheck.empty() ? "" : "    check        check       |  B/em  B/em");
  std::printf(
      "%9s %7s | %8s %8s %5s | %5s %5s | %8s %5s |%s\n%s", "N", "M", "ms", "ms",
      "ratio", "asc.", "shuf.", "ms", "/asc.",
      empcheck.empty() ? "" : "  asc. ms /asc. shuf. ms /shuf. | check check",
      more.c_str());
  if (counting) {
    std::printf(
        "\nCounts of one run, which the machine's load does not move: page "
        "faults (of the fastest run), system calls (strace -c) and "
        "instructions in millions (callgrind); -1 where the tool is "
        "missing.\n\n%9s %7s | %-27s | %-27s | %-27s | %-27s | %-27s\n%9s %7s "
        "|%s\n%s",
        "", "", " floor", " floor +index", " ascending", " shuffled",
        " ascending, journal", "N", "M",
        " faults    calls     instr. | faults    calls     instr. | faults "
        "   calls     instr. | faults    calls     instr. | faults    calls "
        "    instr. |",
        counts.c_str());
  }

  // Numbers chosen against the look-up, beside ordinary ones, in whole runs
  // of a batch: against a fixed hash (sparse numbers, ascending and
  // shuffled) and at the largest spread the direct table still takes.
  const int n = 50000, m = 20000;
  runner.warm(std::size_t(n) * 16 + (64 << 20));
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
    batches.push_back(
        makeBatch(n, m, numbers, work / (std::string(name) + ".dat")));
  }
  for (std::size_t k = 0; k < batches.size(); ++k) {
    const fs::path d =
        linkedDir(work, kinds[k].second, batches[k], batches[k].transactions);
    cs.push_back({empupdate, d, &batches[k], {}, batches[k].after});
  }
  const std::vector<Measure> times = race(runner, cs, runs, identical);
  for (std::size_t k = 0; k < times.size(); ++k) {
    std::printf("  %-18s %7.1f %5.2f\n", kinds[k].second,
                times[k].seconds * 1e3, times[k].seconds / times[0].seconds);
  }
  fs::remove_all(work);
  std::printf("files byte-identical to the batch's: %s\n",
              identical ? "yes" : "NO");
  return identical ? 0 : 1;
}
