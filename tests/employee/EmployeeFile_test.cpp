#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Employee.h"
#include "LittleEndian.h"
#include "ScratchDir.h"
#include "SystemCalls.h"

namespace {

namespace fs = std::filesystem;

std::string rec(std::int32_t id, std::int32_t deleted = 0, char tag = 0) {
  std::string r(60, '\0');
  le32::put(reinterpret_cast<unsigned char*>(r.data()), id);
  le32::put(reinterpret_cast<unsigned char*>(r.data() + 4), deleted);
  r[8] = tag;
  return r;
}

class EmployeeFileTest : public ::testing::Test {
 protected:
  EmployeeFileTest() { Employee::resetIndex(); }
  ScratchDir dir;
};

TEST_F(EmployeeFileTest, MissingFileIsCreatedEmptyAndAppendedTo) {
  const mode_t old = ::umask(022);
  Employee::buildIndex();
  ::umask(old);
  ASSERT_TRUE(fs::is_regular_file("employee.dat"));
  EXPECT_EQ(fs::status("employee.dat").permissions(), fs::perms(0644));
  EXPECT_EQ(Employee::getCount(), 0);
  EXPECT_EQ(Employee::getMaxId(), 0);
  EXPECT_EQ(Employee::getEndOffset(), 0);
  Employee a, b;
  a.add();
  b.add();
  EXPECT_EQ(a.getId(), 1);
  EXPECT_EQ(a.getOffset(), 0);
  EXPECT_EQ(b.getId(), 2);
  EXPECT_EQ(b.getOffset(), 60);
  EXPECT_EQ(fs::file_size("employee.dat"), 120u);
}

TEST_F(EmployeeFileTest, IndexesEveryRecordAndLoadsTheFirstMatch) {
  ScratchDir::put("employee.dat", rec(5, 0, 'a') + rec(3, 0, 'b') +
                                      rec(9, 1, 'c') + rec(3, 0, 'd') +
                                      rec(-4, 0, 'e'));
  Employee::buildIndex();
  EXPECT_EQ(Employee::getCount(), 5);
  EXPECT_EQ(Employee::getMaxId(), 9);
  EXPECT_EQ(Employee::getEndOffset(), 300);
  struct Case {
    int id, offset, deleted;
    char tag;
  } cases[] = {
      {5, 0, 0, 'a'}, {3, 60, 0, 'b'}, {9, 120, 1, 'c'}, {-4, 240, 0, 'e'}};
  for (const auto& c : cases) {
    Employee e;
    e.load(c.id);
    EXPECT_EQ(e.getOffset(), c.offset) << c.id;
    EXPECT_EQ(e.getDeleted(), c.deleted) << c.id;
    EXPECT_EQ(e.getNameField()[0], c.tag) << c.id;
  }
  Employee added;
  added.add();
  EXPECT_EQ(added.getId(), 10);
  EXPECT_EQ(added.getOffset(), 300);
  Employee again;
  again.load(10);
  EXPECT_EQ(again.getOffset(), 300);
}

TEST_F(EmployeeFileTest, FileThatVanishesIsNeverRecreated) {
  ScratchDir::put("employee.dat", rec(1));
  Employee::buildIndex();
  fs::remove("employee.dat");
  Employee e;
  EXPECT_THROW(e.load(1), Employee::CantOpenFile);
  EXPECT_THROW(e.add(), Employee::CantOpenFile);
  EXPECT_FALSE(fs::exists("employee.dat"));
}

// Replaced during the run: every later operation refuses it, none waits on
// a FIFO, and none reads /dev/zero as records.
TEST_F(EmployeeFileTest, FileReplacedDuringTheRunIsRefused) {
  struct Case {
    const char* what;
    void (*make)();
  } cases[] = {
      {"directory", [] { fs::create_directory("employee.dat"); }},
      {"fifo", [] { ::mkfifo("employee.dat", 0666); }},
      {"link to /dev/zero",
       [] { fs::create_symlink("/dev/zero", "employee.dat"); }},
      {"another file of the same size",
       [] { ScratchDir::put("employee.dat", rec(1, 0, 'x')); }},
  };
  for (const auto& c : cases) {
    ScratchDir scratch;
    Employee::resetIndex();
    ScratchDir::put("employee.dat", rec(1));
    Employee::buildIndex();
    Employee loaded;
    loaded.load(1);
    fs::remove("employee.dat");
    c.make();
    // A load may read what stands there: only a write puts anything back,
    // and it checks that the file is the one indexed.
    Employee e;
    try {
      e.load(1);
      EXPECT_ANY_THROW(e.write()) << c.what;
    } catch (...) {
    }
    EXPECT_ANY_THROW(loaded.write()) << c.what;
    EXPECT_ANY_THROW(e.add()) << c.what;
    if (fs::is_regular_file("employee.dat")) {
      EXPECT_EQ(ScratchDir::get("employee.dat"), rec(1, 0, 'x')) << c.what;
    }
  }
}

TEST_F(EmployeeFileTest, FileThatShrinksIsNeverPaddedOrReadStale) {
  ScratchDir::put("employee.dat", rec(1) + rec(2));
  Employee::buildIndex();
  Employee second;
  second.load(2);
  fs::resize_file("employee.dat", 90);
  Employee e;
  EXPECT_THROW(e.load(2), Employee::EndOfFile);
  EXPECT_THROW(second.write(), Employee::FileChanged);
  EXPECT_THROW(e.add(), Employee::FileChanged);
  EXPECT_EQ(fs::file_size("employee.dat"), 90u);
}

TEST_F(EmployeeFileTest, NoAddPastTheLastEmployeeNumber) {
  ScratchDir::put("employee.dat", rec(2147483647));
  Employee::buildIndex();
  Employee e;
  EXPECT_THROW(e.add(), Employee::NoFreeId);
  EXPECT_EQ(ScratchDir::get("employee.dat"), rec(2147483647));
}

// What the k-th call of one system call does, from when it is set: a value
// >= 0 lets at most that many bytes through (any call other than a read or
// write then runs as usual), a value < 0 fails it with errno = -value.
// Calls past the script run as usual.
struct Script {
  std::string call;
  std::vector<long> steps;
  std::size_t made = 0;
  // The step of this call of `name`, or a value that lets it through.
  long next(const char* name) {
    if (call != name || made >= steps.size()) return 1L << 40;
    return steps[made++];
  }
} script;

template <typename R>
R failed(long step) {
  errno = static_cast<int>(-step);
  return R(-1);
}

const SystemCalls kFaulty = {
    [](const char* name, int flags, mode_t mode) {
      const long s = script.next("open");
      return s < 0 ? failed<int>(s)
                   : SystemCalls::real().open(name, flags, mode);
    },
    [](int fd, SystemCalls::Facts* facts) {
      const long s = script.next("stat");
      return s < 0 ? failed<int>(s) : SystemCalls::real().stat(fd, facts);
    },
    [](int fd, void* b, std::size_t n, off_t at) {
      const long s = script.next("pread");
      return s < 0 ? failed<ssize_t>(s)
                   : SystemCalls::real().pread(fd, b,
                                               std::min<std::size_t>(n, s), at);
    },
    [](int fd, const void* b, std::size_t n, off_t at) {
      const long s = script.next("pwrite");
      return s < 0 ? failed<ssize_t>(s)
                   : SystemCalls::real().pwrite(
                         fd, b, std::min<std::size_t>(n, s), at);
    },
    [](int fd, off_t size) {
      const long s = script.next("ftruncate");
      return s < 0 ? failed<int>(s) : SystemCalls::real().ftruncate(fd, size);
    },
    [](int fd) {
      const long s = script.next("close");
      if (s < 0) SystemCalls::real().close(fd);  // failed, yet closed
      return s < 0 ? failed<int>(s) : SystemCalls::real().close(fd);
    },
    [](int fd) {
      const long s = script.next("lock");
      return s < 0 ? failed<int>(s) : SystemCalls::real().lock(fd);
    },
};

// Runs `op` on employee.dat with the fault of `script` set just before it,
// and names the error it raised.
template <typename Op>
std::string outcome(Op op) {
  systemCalls = kFaulty;
  std::string what = "ok";
  try {
    op();
  } catch (Employee::RecordTorn&) {
    what = "torn";
  } catch (Employee::WriteFailed&) {
    what = "write failed";
  } catch (Employee::ReadFailed&) {
    what = "read failed";
  } catch (Employee::InUse&) {
    what = "in use";
  } catch (Employee::LockFailed&) {
    what = "lock failed";
  } catch (Employee::CantOpenFile&) {
    what = "can't open";
  }
  systemCalls = SystemCalls::real();
  return what;
}

// Each failure of a system call is reported as what it is, and leaves
// employee.dat whole records, each as it was.
TEST_F(EmployeeFileTest, FailedSystemCallsLeaveEveryRecordAsItWas) {
  struct Case {
    const char* op;
    Script fault;
    const char* want;
  } cases[] = {
      {"write", {"pwrite", {16, -ENOSPC}}, "write failed"},
      {"write", {"pwrite", {16, -ENOSPC, -EIO}}, "torn"},
      {"write", {"pwrite", {-EIO}}, "write failed"},
      {"write", {"close", {-EIO}}, "write failed"},
      {"write", {"open", {-EMFILE}}, "can't open"},
      {"add", {"pwrite", {16, -ENOSPC}}, "write failed"},
      {"add", {"pwrite", {59, -EFBIG}}, "write failed"},
      {"load", {"pread", {-EIO}}, "read failed"},
      {"load", {"open", {-EMFILE}}, "can't open"},
      {"write", {"stat", {-EIO}}, "can't open"},
      {"index", {"pread", {-EIO}}, "read failed"},
      {"index", {"stat", {0, -EIO}}, "read failed"},
      {"index", {"lock", {-EAGAIN}}, "in use"},
      {"index", {"lock", {-ENOLCK}}, "lock failed"},
      {"index", {"lock", {-EMFILE}}, "lock failed"},
  };
  const std::string start = rec(1, 0, 'a') + rec(2, 0, 'b') + rec(3, 0, 'c');
  for (auto& c : cases) {
    ScratchDir scratch;
    Employee::resetIndex();
    ScratchDir::put("employee.dat", start);
    const std::string op = c.op;
    Employee e;
    if (op != "index") {
      Employee::buildIndex();
      e.load(2);
      e.setName("a longer name than before");
    }
    script = c.fault;
    EXPECT_EQ(outcome([&] {
                if (op == "index") Employee::buildIndex();
                if (op == "load") e.load(2);
                if (op == "write") e.write();
                if (op == "add") e.add();
              }),
              c.want)
        << op << " " << c.fault.call;
    const std::string now = ScratchDir::get("employee.dat");
    if (std::string(c.want) == "torn") {
      EXPECT_NE(now, start) << "the fault did not tear the record";
    } else {
      EXPECT_TRUE(now == start) << op << " " << c.fault.call;
    }
  }
}

}  // namespace
