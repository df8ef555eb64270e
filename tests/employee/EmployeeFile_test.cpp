#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace
