#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "Employee.h"
#include "LittleEndian.h"
#include "ScratchDir.h"

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

TEST_F(EmployeeFileTest, NumbersAllZeroOrNegativeStartAddsAtOne) {
  ScratchDir::put("employee.dat", rec(0) + rec(-7));
  Employee::buildIndex();
  EXPECT_EQ(Employee::getMaxId(), 0);
  Employee e;
  e.add();
  EXPECT_EQ(e.getId(), 1);
  EXPECT_EQ(e.getOffset(), 120);
}

TEST_F(EmployeeFileTest, WriteBackStaysInPlaceAndAddsGoToTheEnd) {
  const std::string start = rec(1) + rec(2) + rec(3);
  ScratchDir::put("employee.dat", start);
  Employee::buildIndex();
  Employee e;
  e.load(3);
  e.setName("Zed");
  e.setAmount(-12);
  e.write();
  EXPECT_EQ(Employee::getEndOffset(), 180);
  Employee first;
  first.load(1);
  first.setDeleted(1);
  first.write();
  Employee fresh;
  fresh.add();
  EXPECT_EQ(fresh.getOffset(), 180);
  const std::string now = ScratchDir::get("employee.dat");
  ASSERT_EQ(now.size(), 240u);
  EXPECT_EQ(now.substr(60, 60), start.substr(60, 60)) << "untouched record";
  EXPECT_EQ(now.substr(4, 4), std::string("\x01\0\0\0", 4));
  EXPECT_EQ(now.substr(128, 3), "Zed");
  EXPECT_EQ(now.substr(164, 4), std::string("\xF4\xFF\xFF\xFF", 4));
}

TEST_F(EmployeeFileTest, UnknownNumberChangesNothing) {
  ScratchDir::put("employee.dat", rec(1));
  Employee::buildIndex();
  Employee e;
  e.setAmount(77);
  EXPECT_THROW(e.load(42), Employee::NoSuch);
  EXPECT_EQ(e.getAmount(), 77);
  EXPECT_EQ(e.getOffset(), -1);
  EXPECT_EQ(ScratchDir::get("employee.dat"), rec(1));
}

// Every refusal at start-up leaves what stands at employee.dat as it was.
TEST_F(EmployeeFileTest, UnusableFilesAreRefusedUntouched) {
  enum Want { kCantOpen, kBadSize, kTooLarge };
  struct Case {
    const char* what;
    void (*make)();
    Want want;
  } cases[] = {
      {"directory", [] { fs::create_directory("employee.dat"); }, kCantOpen},
      {"fifo", [] { ::mkfifo("employee.dat", 0666); }, kCantOpen},
      {"link to /dev/zero",
       [] { fs::create_symlink("/dev/zero", "employee.dat"); }, kCantOpen},
      {"dangling link in a missing directory",
       [] { fs::create_symlink("nowhere/x", "employee.dat"); }, kCantOpen},
      {"61 bytes", [] { ScratchDir::put("employee.dat", rec(1) + "x"); },
       kBadSize},
      {"2^31 bytes, sparse",
       [] {
         ScratchDir::put("employee.dat", rec(1));
         fs::resize_file("employee.dat", 2147483648);
       },
       kTooLarge},
  };
  for (const auto& c : cases) {
    ScratchDir scratch;
    Employee::resetIndex();
    c.make();
    const auto type = fs::symlink_status("employee.dat").type();
    // Contents compared for small files, sizes for the sparse one.
    const bool small =
        type == fs::file_type::regular && fs::file_size("employee.dat") < 4096;
    const std::string before = small ? ScratchDir::get("employee.dat") : "";
    Want got{};
    try {
      Employee::buildIndex();
      ADD_FAILURE() << c.what << " accepted";
      continue;
    } catch (Employee::CantOpenFile&) {
      got = kCantOpen;
    } catch (Employee::BadSize&) {
      got = kBadSize;
    } catch (Employee::TooLarge&) {
      got = kTooLarge;
    }
    EXPECT_EQ(got, c.want) << c.what;
    EXPECT_EQ(fs::symlink_status("employee.dat").type(), type) << c.what;
    if (small) {
      EXPECT_TRUE(ScratchDir::get("employee.dat") == before) << c.what;
    } else if (type == fs::file_type::regular) {
      EXPECT_EQ(fs::file_size("employee.dat"), 2147483648u);
    }
  }
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
    Employee e;
    EXPECT_THROW(e.load(1), Employee::CantOpenFile) << c.what;
    EXPECT_THROW(loaded.write(), Employee::CantOpenFile) << c.what;
    EXPECT_THROW(e.add(), Employee::CantOpenFile) << c.what;
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

// A full disk, simulated by a file-size limit in a child process: the
// failed append is reported and cut off, so the file stays whole records.
TEST_F(EmployeeFileTest, FullDiskDuringAnAppendIsReportedAndCutBack) {
  for (rlim_t limit : {120, 130, 179}) {
    ScratchDir::put("employee.dat", rec(1) + rec(2));
    Employee::resetIndex();
    Employee::buildIndex();
    auto appendUnderLimit = [limit] {
      std::signal(SIGXFSZ, SIG_IGN);
      rlimit lim{limit, limit};
      ::setrlimit(RLIMIT_FSIZE, &lim);
      Employee e;
      try {
        e.add();
      } catch (Employee::WriteFailed&) {
        std::_Exit(fs::file_size("employee.dat") == 120 ? 3 : 4);
      }
      std::_Exit(5);
    };
    EXPECT_EXIT(appendUnderLimit(), ::testing::ExitedWithCode(3), "")
        << "limit " << limit;
    EXPECT_EQ(ScratchDir::get("employee.dat"), rec(1) + rec(2));
  }
}

}  // namespace
