#include "Diagnostic.h"

#include <gtest/gtest.h>

#include <exception>
#include <new>
#include <stdexcept>
#include <utility>

#include "Employee.h"

namespace {

// The texts of the errors that neither a case folder nor a fault of
// employee/faults.txt can bring about.
TEST(DiagnosticTest, TextsOfRareErrors) {
  const std::pair<std::exception_ptr, std::string> cases[] = {
      {std::make_exception_ptr(Employee::TooLarge()),
       "employee.dat would grow to 2 GiB: too large"},
      {std::make_exception_ptr(std::bad_alloc()), "out of memory"},
      {std::make_exception_ptr(std::runtime_error("x")), "internal error: x"},
      {std::make_exception_ptr(42), "internal error: unknown exception"},
  };
  for (const auto& [e, want] : cases) {
    EXPECT_EQ(Diagnostic::what(e, false), want);
  }
}

}  // namespace
