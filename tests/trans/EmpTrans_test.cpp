#include "EmpTrans.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "AddTrans.h"
#include "ChangeTrans.h"
#include "DeleteTrans.h"
#include "ScratchDir.h"

namespace {

TEST(EmpTransTest, OpenCreatesAMissingFileAndRefusesADirectory) {
  ScratchDir dir;
  EmpTrans::openFile();
  EXPECT_THROW(EmpTrans::get(), EmpTrans::NoMore);
  EmpTrans::closeFile();
  EXPECT_TRUE(std::filesystem::is_regular_file("emptrans.dat"));
  std::filesystem::remove("emptrans.dat");
  std::filesystem::create_directory("emptrans.dat");
  EXPECT_THROW(EmpTrans::openFile(), EmpTrans::CantOpenFile);
  EmpTrans::closeFile();  // nothing open: does nothing
}

TEST(EmpTransTest, OpeningAgainMovesBackToTheStart) {
  ScratchDir dir;
  ScratchDir::put("emptrans.dat", "\n\nD 1\nD 2\n");
  EmpTrans::openFile();
  EXPECT_EQ(EmpTrans::get()->id, 1);
  EXPECT_EQ(EmpTrans::get()->id, 2);
  EmpTrans::openFile();
  EXPECT_EQ(EmpTrans::line(), 1);
  EXPECT_EQ(EmpTrans::get()->id, 1);
  EXPECT_EQ(EmpTrans::line(), 3);
  EmpTrans::closeFile();
}

TEST(EmpTransTest, FieldsStartInitialised) {
  DeleteTrans t;
  EXPECT_EQ(t.id, 0);
  EXPECT_EQ(std::string(t.name, sizeof t.name), std::string(32, '\0'));
  EXPECT_EQ(t.category, 0);
  EXPECT_EQ(t.amount, 0);
  EXPECT_EQ(t.date.getYear(), 1900);
}

}  // namespace
