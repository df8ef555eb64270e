// Faults injected into whole runs of empupdate: a full disk at every write,
// SIGKILL at random moments, and several runs at once. After each,
// employee.dat must hold exactly the transactions before the one that
// failed, as whole records. What "exactly" means comes from empupdate
// itself, run without a fault on the first k transactions of the batch.
#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "RecordText.h"
#include "RunProgram.h"
#include "ScratchDir.h"

namespace {

namespace fs = std::filesystem;

// Employees 1..n as employee.dat.
std::string employees(int n) {
  std::string text;
  for (int i = 1; i <= n; ++i) {
    text += std::to_string(i) + " 0 \"e" + std::to_string(i) + "\" 0 " +
            std::to_string(i) + " 2000/1/1\n";
  }
  return record_text::toBytes(text);
}

std::string add(int i) {
  return "A \"n" + std::to_string(i) + "\" S " + std::to_string(i) +
         " 2000/1/1\n";
}

std::string change(int id, int amount) {
  return "C " + std::to_string(id) + " \"\" * " + std::to_string(amount) +
         " 1901/1/1\n";
}

// employee.dat after an undisturbed run of the first k lines of `batch`.
std::string after(const std::string& start,
                  const std::vector<std::string>& batch, std::size_t k) {
  ScratchDir dir;
  ScratchDir::put("employee.dat", start);
  std::string lines;
  for (std::size_t i = 0; i < k; ++i) lines += batch[i];
  ScratchDir::put("emptrans.dat", lines);
  if (runProgram({EMPUPDATE_PATH}, dir.path().string()).status != 0) return "?";
  return ScratchDir::get("employee.dat");
}

std::string prepare(const std::string& start,
                    const std::vector<std::string>& batch) {
  ScratchDir::put("employee.dat", start);
  std::string lines;
  for (const auto& l : batch) lines += l;
  ScratchDir::put("emptrans.dat", lines);
  return fs::current_path().string();
}

TEST(FaultsTest, FullDiskAtEveryWriteOfABatch) {
  const std::string start = employees(2);
  const std::vector<std::string> batch = {
      add(1), change(1, 11), add(2), "D 2\n", add(3), change(4, 14), add(4)};
  std::vector<std::string> states;  // states[k]: after k transactions
  for (std::size_t k = 0; k <= batch.size(); ++k) {
    states.push_back(after(start, batch, k));
  }
  const long end = static_cast<long>(states.back().size());
  for (long boundary = 120; boundary <= end; boundary += 60) {
    // Every record boundary, and one byte and half a record past it.
    for (long limit : {boundary, boundary + 1, boundary + 30}) {
      ScratchDir dir;
      const ProgramResult r =
          runProgram({EMPUPDATE_PATH}, prepare(start, batch), {.fsize = limit});
      // The first transaction whose record would end past the limit fails.
      std::size_t k = 0;
      while (k < batch.size() &&
             static_cast<long>(states[k + 1].size()) <= limit) {
        ++k;
      }
      const bool all = k == batch.size();
      EXPECT_EQ(r.status, all ? 0 : 2) << "limit " << limit;
      EXPECT_EQ(r.err,
                all ? ""
                    : "empupdate:emptrans.dat:" + std::to_string(k + 1) +
                          ": cannot write employee.dat: File too large; " +
                          std::to_string(k) +
                          (k == 1 ? " transaction" : " transactions") +
                          " applied before it\n")
          << "limit " << limit;
      EXPECT_TRUE(ScratchDir::get("employee.dat") == states[k])
          << "limit " << limit << ": not the state after " << k;
    }
  }
}

TEST(FaultsTest, KilledAtRandomMomentsLeavesAPrefixOfTheBatch) {
  const std::string start = employees(50);
  std::vector<std::string> batch;  // adds at even places, changes between
  for (int i = 0; i < 3000; ++i) {
    batch.push_back(i % 2 == 0 ? add(i) : change(1 + i * 7 % 50, 100000 + i));
  }
  // Kills land anywhere in an undisturbed run's duration.
  const auto begin = std::chrono::steady_clock::now();
  after(start, batch, batch.size());
  const auto duration = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - begin)
                            .count();
  std::mt19937 random(20261206);
  int cut = 0;
  for (int trial = 0; trial < 25; ++trial) {
    ScratchDir dir;
    const std::string d = prepare(start, batch);
    const pid_t pid = startProgram({EMPUPDATE_PATH}, d, {});
    ::usleep(static_cast<useconds_t>(
        std::uniform_int_distribution<long>(0, duration)(random)));
    ::kill(pid, SIGKILL);
    if (waitStatus(pid) == 1000 + SIGKILL) ++cut;
    const std::string now = ScratchDir::get("employee.dat");
    ASSERT_EQ(now.size() % 60, 0u) << "torn record, trial " << trial;
    // The records appended tell which two prefixes the file can be.
    const long adds = static_cast<long>(now.size() / 60) - 50;
    bool matched = false;
    for (long k : {2 * adds - 1, 2 * adds}) {
      matched = matched || (k >= 0 && now == after(start, batch, k));
    }
    EXPECT_TRUE(matched) << "trial " << trial << ": " << adds << " adds";
  }
  EXPECT_GE(cut, 5) << "too few runs killed mid-batch";
  std::printf("%d of 25 runs killed mid-batch\n", cut);
}

TEST(FaultsTest, ConcurrentRunsApplyTheBatchOnce) {
  std::vector<std::string> batch;
  for (int i = 0; i < 20000; ++i) batch.push_back(add(i));
  const std::string whole = after("", batch, batch.size());
  ScratchDir dir;
  const std::string d = prepare("", batch);
  std::vector<pid_t> pids;
  std::vector<int> errs;
  for (int i = 0; i < 4; ++i) {
    errs.push_back(::memfd_create("err", MFD_CLOEXEC));
    pids.push_back(startProgram({EMPUPDATE_PATH}, d, {.errFd = errs[i]}));
  }
  int ok = 0, refused = 0;
  for (int i = 0; i < 4; ++i) {
    const int status = waitStatus(pids[i]);
    const std::string err = contents(errs[i]);
    ok += status == 0 && err.empty();
    refused +=
        status == 2 && err == "empupdate:employee.dat: in use by another run\n";
  }
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(refused, 3);
  EXPECT_TRUE(ScratchDir::get("employee.dat") == whole);
}

// A signal stops the run between two transactions: it says where, and
// then ends as the signal would, with every transaction before it applied.
TEST(FaultsTest, SignalStopsBetweenTransactionsAndSaysWhere) {
  std::vector<std::string> batch;
  for (int i = 0; i < 20000; ++i) batch.push_back(add(i));
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    ScratchDir dir;
    const int err = ::memfd_create("err", MFD_CLOEXEC);
    const pid_t pid =
        startProgram({EMPUPDATE_PATH}, prepare("", batch), {.errFd = err});
    while (!fs::exists("employee.dat") || fs::file_size("employee.dat") == 0) {
      ::usleep(200);
    }
    ::kill(pid, signal);
    EXPECT_EQ(waitStatus(pid), 1000 + signal);
    const std::string now = ScratchDir::get("employee.dat");
    const std::size_t k = now.size() / 60;
    ASSERT_LT(k, batch.size()) << "the run ended before the signal came";
    EXPECT_EQ(contents(err), "empupdate:emptrans.dat:" + std::to_string(k + 1) +
                                 ": interrupted by SIG" + sigabbrev_np(signal) +
                                 "; " + std::to_string(k) +
                                 (k == 1 ? " transaction" : " transactions") +
                                 " applied before it\n");
    EXPECT_TRUE(now == after("", batch, k));
  }
}

}  // namespace
