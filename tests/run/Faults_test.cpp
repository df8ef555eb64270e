// Faults injected into whole runs of empupdate: SIGKILL before each of its
// system calls, several runs at once, and signals (a full disk is a run
// case). After each, employee.dat must hold exactly the transactions before
// the one that failed, as whole records. What "exactly" means comes from
// empupdate itself, run without a fault on the first k transactions of the
// batch.
#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "Batch.h"
#include "RecordText.h"
#include "RunProgram.h"
#include "ScratchDir.h"

namespace {

namespace fs = std::filesystem;
using Batch = std::vector<std::string>;

std::string add(int amount) {
  return "A \"n\" S " + std::to_string(amount) + " 2000/1/1\n";
}

// Lays out employees 1 to n and the first k transactions of `batch` here.
std::string prepare(int n, const Batch& batch, std::size_t k = SIZE_MAX) {
  std::string records, lines;
  for (int i = 1; i <= n; ++i)
    records += std::to_string(i) + " 0 \"e\" 0 1 2000/1/1\n";
  for (std::size_t i = 0; i < k && i < batch.size(); ++i) lines += batch[i];
  ScratchDir::put("employee.dat", record_text::toBytes(records));
  ScratchDir::put("emptrans.dat", lines);
  return fs::current_path().string();
}

// employee.dat after an undisturbed run of the first k transactions.
std::string after(int n, const Batch& batch, std::size_t k) {
  ScratchDir dir;
  const int status = runProgram({EMPUPDATE_PATH}, prepare(n, batch, k)).status;
  return status == 0 ? ScratchDir::get("employee.dat") : "?";
}

// SIGKILL, which no program can catch, ends a run between two system calls
// (or inside a write, where the kernel decides how much of it lands). Killed
// before each system call of main in turn, a run leaves employee.dat as the
// first k transactions of the batch would, k one more at most than when
// killed a call earlier. The kill comes at a count of calls, not after a
// time, so that the machine's load changes nothing.
TEST(FaultsTest, KilledBeforeAnySystemCallLeavesAPrefixOfTheBatch) {
  Batch batch;  // adds, each followed by a change in place
  for (int i = 0; i < 4; ++i) {
    batch.push_back(add(i));
    batch.push_back("C " + std::to_string(i + 1) + " \"\" * " +
                    std::to_string(100000 + i) + " 1901/1/1\n");
  }
  std::vector<std::string> prefixes;
  for (std::size_t k = 0; k <= batch.size(); ++k)
    prefixes.push_back(after(3, batch, k));
  ScratchDir dir;
  std::size_t k = 0;
  // Until a run ends before the call it was to be killed at.
  bool killed = true;
  for (long at = 1; killed; ++at) {
    const pid_t pid = startProgram({EMPUPDATE_PATH}, prepare(3, batch),
                                   {.signalAtStart = SIGKILL});
    long calls = 0;  // of main, counted from its first
    const int ended = signalAt(pid, SIGKILL, [&](const auto& call) {
      return (calls > 0 || firstOfMain(call)) && ++calls == at;
    });
    const int status = ended >= 0 ? ended : waitStatus(pid);
    if (calls == 0) GTEST_SKIP() << "no program may be traced here";
    const std::size_t was = k;
    k = std::find(prefixes.begin(), prefixes.end(),
                  ScratchDir::get("employee.dat")) -
        prefixes.begin();
    ASSERT_TRUE(k == was || k == was + 1) << "killed at call " << at;
    killed = calls == at;
    ASSERT_EQ(status, killed ? 1000 + SIGKILL : 0) << "call " << at;
  }
  EXPECT_EQ(k, batch.size());
}

TEST(FaultsTest, ConcurrentRunsApplyTheBatchOnce) {
  const Batch batch(20000, add(1));
  const std::string whole = after(0, batch, batch.size());
  ScratchDir dir;
  const std::string here = prepare(0, batch);
  pid_t pids[4];
  int errs[4];
  for (int i = 0; i < 4; ++i) {
    errs[i] = ::memfd_create("err", MFD_CLOEXEC);
    pids[i] = startProgram({EMPUPDATE_PATH}, here, {.errFd = errs[i]});
  }
  std::multiset<std::string> ends;  // exit status and standard error
  for (int i = 0; i < 4; ++i) {
    const int status = waitStatus(pids[i]);  // before its output is read
    ends.insert(std::to_string(status) + " " + contents(errs[i]));
  }
  const std::string refused =
      "2 empupdate:employee.dat: in use by another run\n";
  EXPECT_EQ(ends,
            (std::multiset<std::string>{"0 ", refused, refused, refused}));
  EXPECT_TRUE(ScratchDir::get("employee.dat") == whole);
}

// Batch::run closes emptrans.dat on every path, so that a second run in the
// same process opens it afresh: also after refusing it as employee.dat.
TEST(FaultsTest, RunLeavesNothingOpen) {
  ScratchDir dir;
  ScratchDir::put("employee.dat", "");
  fs::create_symlink("employee.dat", "emptrans.dat");
  EXPECT_EQ(::Batch().run().status, 2);
  EXPECT_EQ(EmpTrans::descriptor(), -1);
  fs::remove("emptrans.dat");
  ScratchDir::put("emptrans.dat", "A \"x\" S 1 2000/1/1\n");
  Employee::resetIndex();
  const ::Batch::Ending end = ::Batch().run();
  EXPECT_EQ(end.status, 0);
  EXPECT_EQ(end.applied, 1);
  EXPECT_EQ(EmpTrans::descriptor(), -1);
  Employee::resetIndex();
  // A run from a line, whose file has gone since it was looked at, does
  // not create it.
  fs::remove("emptrans.dat");
  EXPECT_EQ(::Batch(2).run().status, 1);
  EXPECT_FALSE(fs::exists("emptrans.dat"));
  Employee::resetIndex();
}

// A signal sent to end the run stops it between two transactions: it says
// where, and then ends as the signal would, with every transaction before
// it applied. Of two at once, the lowest numbered comes first, and is told.
// One ignored at start (nohup) stays ignored: the run goes on to its end;
// one blocked at start (SIGALRM here) is let through, but for the two the
// C library keeps for itself, which stay blocked.
TEST(FaultsTest, SignalStopsBetweenTransactionsAndSaysWhere) {
  const Batch batch(20000, add(1));
  for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2,
                     SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ, SIGPOLL,
                     SIGPWR, SIGSTKFLT, SIGRTMIN, SIGRTMAX, -SIGUSR2}) {
    ScratchDir dir;
    const int err = ::memfd_create("err", MFD_CLOEXEC);
    const pid_t pid =
        startProgram({EMPUPDATE_PATH}, prepare(0, batch),
                     {.errFd = err,
                      .ignore = -signal,
                      .blocked = 1ULL << (SIGALRM - 1) | 1ULL << (32 - 1)});
    // At most 10 s: a run that dies first fails the checks below.
    for (int i = 0; i < 50000 && fs::file_size("employee.dat") == 0; ++i) {
      ::usleep(200);
    }
    ::kill(pid, SIGSTOP);  // what comes while it is stopped comes at once
    ::kill(pid, std::abs(signal));
    if (signal == SIGUSR1) ::kill(pid, SIGTERM);
    if (signal < 0) ::kill(pid, 32);
    ::kill(pid, SIGCONT);
    const std::string name =
        signal < SIGRTMIN ? std::string("SIG") + sigabbrev_np(std::abs(signal))
                          : "SIGRTMIN+" + std::to_string(signal - SIGRTMIN);
    EXPECT_EQ(waitStatus(pid), signal < 0 ? 0 : 1000 + signal) << name;
    const std::string now = ScratchDir::get("employee.dat");
    const std::size_t k = now.size() / 60;
    // A caught signal stops it early, an ignored one lets it finish.
    ASSERT_EQ(k<batch.size(), signal> 0) << name;
    const std::string applied = std::to_string(k) + " transaction" +
                                (k == 1 ? "" : "s") + " applied before it";
    EXPECT_EQ(contents(err),
              signal < 0
                  ? ""
                  : "empupdate:emptrans.dat:" + std::to_string(k + 1) +
                        ": interrupted by " + name + "; " + applied +
                        "; resume with --from " + std::to_string(k + 1) + "\n");
    EXPECT_TRUE(now == after(0, batch, k)) << name;
  }
}

// One that comes as the reader crosses the blank lines after the last
// transaction (at its second read, past the first buffer) is told as one
// that came before that reading: nothing is left to resume from.
TEST(FaultsTest, SignalAmongTheLastBlankLinesIsTold) {
  ScratchDir dir;
  const Batch batch = {add(1), std::string(1 << 16, '\n')};
  const int err = ::memfd_create("err", MFD_CLOEXEC);
  const pid_t pid = startProgram({EMPUPDATE_PATH}, prepare(0, batch),
                                 {.errFd = err, .signalAtStart = SIGTERM});
  long reads = -1;  // of main, once it has started
  const int ended = signalAt(pid, SIGTERM, [&](const auto& call) {
    if (reads < 0 && firstOfMain(call)) reads = 0;
    return reads >= 0 && call.entry.nr == SYS_read && ++reads == 2;
  });
  if (reads < 0) GTEST_SKIP() << "no program may be traced here";
  EXPECT_EQ(ended >= 0 ? ended : waitStatus(pid), 1000 + SIGTERM);
  EXPECT_EQ(contents(err),
            "empupdate:emptrans.dat:2: interrupted by SIGTERM; 1 transaction "
            "applied before it\n");
  EXPECT_EQ(ScratchDir::get("employee.dat").size(), 60U);
}

}  // namespace
