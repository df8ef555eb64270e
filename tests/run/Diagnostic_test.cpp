#include "Diagnostic.h"

#include <gtest/gtest.h>

#include <new>

#include "Date.h"
#include "EmpTrans.h"
#include "Employee.h"

namespace {

constexpr bool kStartUp = true, kLoop = false;

template <typename E>
std::exception_ptr error() {
  return std::make_exception_ptr(E());
}

TEST(DiagnosticTest, FormsOfTheDiagnostic) {
  struct Case {
    std::exception_ptr error;
    bool startUp;
    long line, applied;
    std::string want;
  } cases[] = {
      {error<Date::DayOutOfRange>(), kLoop, 7, 5,
       "p:emptrans.dat:7: day out of range; 5 transactions applied before "
       "it\n"},
      {error<Date::MonthOutOfRange>(), kLoop, 1, 1,
       "p:emptrans.dat:1: month out of range; 1 transaction applied before "
       "it\n"},
      {error<Employee::NoFreeId>(), kLoop, 2, 0,
       "p:emptrans.dat:2: no employee number left to give (2147483647 is "
       "taken); 0 transactions applied before it\n"},
      {error<Employee::TooLarge>(), kLoop, 3, 2,
       "p:emptrans.dat:3: employee.dat would grow to 2 GiB: too large; 2 "
       "transactions applied before it\n"},
      {std::make_exception_ptr(std::bad_alloc()), kStartUp, 0, 0,
       "p:employee.dat: out of memory\n"},
      {std::make_exception_ptr(42), kStartUp, 0, 0,
       "p:employee.dat: internal error: unknown exception\n"},
      {nullptr, kLoop, 4, 3,
       "p:emptrans.dat:4: internal error: no error in flight; 3 transactions "
       "applied before it\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Diagnostic::line("p", c.error, c.startUp, c.line, c.applied),
              c.want);
  }
}

}  // namespace
