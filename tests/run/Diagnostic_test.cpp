#include "Diagnostic.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <utility>

#include "Employee.h"

namespace {

template <typename E>
std::exception_ptr error(E e = E()) {
  return std::make_exception_ptr(e);
}

// The texts of the errors that neither a case folder nor a fault of
// employee/faults.txt can bring about.
TEST(DiagnosticTest, TextsOfRareErrors) {
  const std::pair<std::exception_ptr, std::string> cases[] = {
      {error<Employee::TooLarge>(),
       "employee.dat would grow to 2 GiB: too large"},
      {error<std::bad_alloc>(), "out of memory"},
      {error(std::runtime_error("x")), "internal error: x"},
      {error(42), "internal error: unknown exception"},
      {nullptr, "internal error: no error in flight"},
  };
  for (const auto& [e, want] : cases) {
    EXPECT_EQ(Diagnostic::what(e, false), want);
  }
}

}  // namespace
