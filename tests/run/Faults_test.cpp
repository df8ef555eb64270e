// Faults injected into whole runs of empupdate: a full disk at every write,
// SIGKILL at random moments, and several runs at once. After each,
// employee.dat must hold exactly the transactions before the one that
// failed, as whole records.
#include <gtest/gtest.h>
#include <signal.h>

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

// A batch model: the starting records, the transactions as lines of
// emptrans.dat, and the records after any prefix of the batch.
class Batch {
 public:
  struct Rec {
    int id;
    std::string name;
    int amount;
    bool deleted;
  };

  explicit Batch(int start) {
    for (int i = 1; i <= start; ++i) {
      start_.push_back({i, "e" + std::to_string(i), i, false});
    }
    adds_ = start;
  }
  void add(int amount) {
    const int id = ++adds_;
    ops_.push_back({'A', id, amount});
    lines_.push_back("A \"n" + std::to_string(id) + "\" S " +
                     std::to_string(amount) + " 2000/1/1");
  }
  void change(int id, int amount) {
    ops_.push_back({'C', id, amount});
    lines_.push_back("C " + std::to_string(id) + " \"\" * " +
                     std::to_string(amount) + " 1901/1/1");
  }
  void remove(int id) {
    ops_.push_back({'D', id, 0});
    lines_.push_back("D " + std::to_string(id));
  }
  std::size_t size() const { return ops_.size(); }

  // employee.dat after the first k transactions.
  std::string bytesAfter(std::size_t k) const {
    std::vector<Rec> recs = start_;
    for (std::size_t i = 0; i < k; ++i) {
      const Op& op = ops_[i];
      if (op.kind == 'A') {
        recs.push_back({op.id, "n" + std::to_string(op.id), op.amount, false});
      } else if (op.kind == 'C') {
        recs[op.id - 1].amount = op.amount;
      } else {
        recs[op.id - 1].deleted = true;
      }
    }
    std::string text;
    for (const auto& r : recs) {
      text += std::to_string(r.id) + (r.deleted ? " 1 \"" : " 0 \"") + r.name +
              "\" 0 " + std::to_string(r.amount) + " 2000/1/1\n";
    }
    return record_text::toBytes(text);
  }
  void writeFiles() const {
    std::string t;
    for (const auto& l : lines_) t += l + "\n";
    ScratchDir::put("employee.dat", bytesAfter(0));
    ScratchDir::put("emptrans.dat", t);
  }

 private:
  struct Op {
    char kind;
    int id, amount;
  };
  std::vector<Rec> start_;
  std::vector<Op> ops_;
  std::vector<std::string> lines_;
  int adds_ = 0;
};

std::string applied(long k) {
  return "; " + std::to_string(k) +
         (k == 1 ? " transaction" : " transactions") + " applied before it\n";
}

TEST(FaultsTest, FullDiskAtEveryWriteOfABatch) {
  Batch b(2);
  b.add(10);
  b.change(1, 11);
  b.add(12);
  b.remove(2);
  b.add(13);
  b.change(4, 14);
  b.add(15);
  std::vector<std::string> after;  // after[k]: the file after k transactions
  for (std::size_t k = 0; k <= b.size(); ++k) after.push_back(b.bytesAfter(k));
  const long end = static_cast<long>(after.back().size());
  for (long limit = 120; limit <= end + 60;
       limit += limit % 60 ? 60 - limit % 60 : 1) {
    // Every record boundary, and one byte and half a record into each.
    for (long at : {limit, limit + 1, limit + 30}) {
      ScratchDir dir;
      b.writeFiles();
      // The first transaction whose record would end past the limit fails.
      std::size_t k = 0;
      while (k < b.size() && static_cast<long>(after[k + 1].size()) <= at) {
        ++k;
      }
      const ProgramResult r =
          runProgram({EMPUPDATE_PATH}, dir.path().string(), at);
      const bool all = k == b.size();
      EXPECT_EQ(r.status, all ? 0 : 2) << "limit " << at;
      EXPECT_EQ(r.err, all ? ""
                           : "empupdate:emptrans.dat:" + std::to_string(k + 1) +
                                 ": cannot write employee.dat: File too "
                                 "large" +
                                 applied(k))
          << "limit " << at;
      EXPECT_TRUE(ScratchDir::get("employee.dat") == after[k])
          << "limit " << at << ": not the state after " << k;
    }
  }
}

TEST(FaultsTest, KilledAtRandomMomentsLeavesAPrefixOfTheBatch) {
  Batch b(50);
  for (int i = 0; i < 3000; ++i) {
    if (i % 2 == 0) {
      b.add(i);
    } else {
      b.change(1 + (i * 7) % 50, 100000 + i);
    }
  }
  std::mt19937 random(20261206);
  int cut = 0;
  for (int trial = 0; trial < 25; ++trial) {
    ScratchDir dir;
    b.writeFiles();
    const std::string d = dir.path().string();
    const pid_t pid =
        startProgram({EMPUPDATE_PATH}, d,
                     d + "/../out." + std::to_string(trial), "/dev/null");
    ::usleep(std::uniform_int_distribution<int>(0, 12000)(random));
    ::kill(pid, SIGKILL);
    const int status = waitStatus(pid);
    const std::string now = ScratchDir::get("employee.dat");
    ASSERT_EQ(now.size() % 60, 0u) << "torn record, trial " << trial;
    // Adds are the even transactions: the records appended tell which two
    // prefixes the file can be.
    const long adds = static_cast<long>(now.size() / 60) - 50;
    bool matched = false;
    for (long k : {2 * adds - 1, 2 * adds}) {
      if (k >= 0 && k <= static_cast<long>(b.size()) &&
          now == b.bytesAfter(k)) {
        matched = true;
      }
    }
    EXPECT_TRUE(matched) << "trial " << trial << ": " << adds << " adds";
    if (status == 1000 + SIGKILL) ++cut;
  }
  EXPECT_GE(cut, 5) << "too few runs killed mid-batch";
  std::printf("%d of 25 runs killed mid-batch\n", cut);
}

TEST(FaultsTest, ConcurrentRunsApplyTheBatchOnce) {
  Batch b(0);
  for (int i = 0; i < 20000; ++i) b.add(i);
  ScratchDir dir;
  b.writeFiles();
  const std::string d = dir.path().string();
  std::vector<pid_t> pids;
  for (int i = 0; i < 4; ++i) {
    pids.push_back(startProgram({EMPUPDATE_PATH}, d, "/dev/null",
                                d + "/../err" + std::to_string(i)));
  }
  int ok = 0, refused = 0;
  for (int i = 0; i < 4; ++i) {
    const int status = waitStatus(pids[i]);
    const std::string err = ScratchDir::get(d + "/../err" + std::to_string(i));
    if (status == 0 && err.empty()) ++ok;
    if (status == 2 &&
        err == "empupdate:employee.dat: in use by another run\n") {
      ++refused;
    }
  }
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(refused, 3);
  EXPECT_TRUE(ScratchDir::get("employee.dat") == b.bytesAfter(b.size()));
}

}  // namespace
