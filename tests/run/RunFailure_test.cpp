#include "RunFailure.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "Date.h"
#include "EmpTrans.h"
#include "Employee.h"
#include "modifstream.h"

namespace {

using Stage = RunFailure::Stage;

template <typename E>
std::exception_ptr error() {
  return std::make_exception_ptr(E());
}

TEST(RunFailureTest, FormsOfTheDiagnostic) {
  struct Case {
    std::exception_ptr error;
    Stage stage;
    long line, applied;
    std::string want;
  } cases[] = {
      {error<Date::DayOutOfRange>(), Stage::kLoop, 7, 5,
       "p:emptrans.dat:7: day out of range; 5 transactions applied before "
       "it\n"},
      {error<Date::MonthOutOfRange>(), Stage::kLoop, 1, 1,
       "p:emptrans.dat:1: month out of range; 1 transaction applied before "
       "it\n"},
      {error<Employee::NoFreeId>(), Stage::kLoop, 2, 0,
       "p:emptrans.dat:2: no employee number left to give (2147483647 is "
       "taken); 0 transactions applied before it\n"},
      {error<Employee::TooLarge>(), Stage::kLoop, 3, 2,
       "p:emptrans.dat:3: employee.dat would grow to 2 GiB: too large; 2 "
       "transactions applied before it\n"},
      {std::make_exception_ptr(std::bad_alloc()), Stage::kStartUp, 0, 0,
       "p:employee.dat: out of memory\n"},
      {std::make_exception_ptr(42), Stage::kStartUp, 0, 0,
       "p:employee.dat: internal error: unknown exception\n"},
      {nullptr, Stage::kLoop, 4, 3,
       "p:emptrans.dat:4: internal error: no error in flight; 3 transactions "
       "applied before it\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunFailure::message("p", c.error, c.stage, c.line, c.applied),
              c.want);
  }
}

// Each error class has its own text; the start-up stage drops the file
// name the diagnostic already carries.
TEST(RunFailureTest, EveryErrorClassHasItsText) {
  struct Case {
    std::exception_ptr error;
    Stage stage;
    std::string want;
  } cases[] = {
      {error<EmpTrans::InvalidCategory>(), Stage::kLoop,
       "invalid category letter (S, H or * expected)"},
      {error<EmpTrans::InvalidNumber>(), Stage::kLoop,
       "employee number missing or out of range"},
      {error<EmpTrans::InvalidContent>(), Stage::kLoop, "invalid transaction"},
      {error<modifstream::InvalidQuotedString>(), Stage::kLoop,
       "name missing, not in double quotes, or broken by a line end"},
      {error<modifstream::MaxLenExceeded>(), Stage::kLoop,
       "name longer than 31 characters or not closed"},
      {error<modifstream::InvalidDate>(), Stage::kLoop,
       "amount or date invalid (amount then year/month/day expected)"},
      {error<modifstream::ReadFailed>(), Stage::kLoop,
       "cannot read emptrans.dat: the file shrank while it was read"},
      {error<Date::YearOutOfRange>(), Stage::kLoop,
       "year out of range (1901 to 2099)"},
      {error<Employee::CantOpenFile>(), Stage::kLoop,
       "cannot open employee.dat: the file shrank while it was read"},
      {error<Employee::ReadFailed>(), Stage::kStartUp,
       "cannot read: the file shrank while it was read"},
      {error<Employee::WriteFailed>(), Stage::kLoop,
       "cannot write employee.dat: the file shrank while it was read"},
      {error<Employee::EndOfFile>(), Stage::kLoop,
       "employee.dat ends inside a record it held at the start of the run"},
      {error<Employee::BadSize>(), Stage::kStartUp,
       "its size is not a whole number of 60-byte records"},
      {error<Employee::TooLarge>(), Stage::kStartUp,
       "its size is 2 GiB or more: too large"},
      {error<Employee::InUse>(), Stage::kStartUp, "in use by another run"},
      {error<Employee::FileChanged>(), Stage::kLoop,
       "employee.dat was changed by another program during the run"},
      {error<Employee::NoSuch>(), Stage::kLoop, "employee file error"},
      {error<Array<Employee::Location>::IndexOutOfRange>(), Stage::kLoop,
       "internal error: index out of range"},
      {std::make_exception_ptr(std::runtime_error("boom")), Stage::kLoop,
       "internal error: boom"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunFailure::what(c.error, c.stage), c.want);
  }
}

}  // namespace
