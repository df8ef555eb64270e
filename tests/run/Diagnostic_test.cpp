#include "Diagnostic.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "Employee.h"

namespace {

template <typename E>
std::exception_ptr error(E e = E()) {
  return std::make_exception_ptr(e);
}

// The texts of the errors that neither a case folder nor a fault of
// employee/faults.txt can bring about.
TEST(DiagnosticTest, TextsOfRareErrors) {
  struct Case {
    std::exception_ptr error;
    bool startUp;
    std::string want;
  } cases[] = {
      {error<Employee::TooLarge>(), false,
       "employee.dat would grow to 2 GiB: too large"},
      {error<std::bad_alloc>(), true, "out of memory"},
      {error(std::runtime_error("x")), true, "internal error: x"},
      {error(42), true, "internal error: unknown exception"},
      {nullptr, false, "internal error: no error in flight"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Diagnostic::what(c.error, c.startUp), c.want);
  }
}

}  // namespace
