// DataCases: tests written as the lines of a data file,
//   INPUT => OUTCOME
// where blank lines and lines starting with # are skipped, and the name of
// the error an operation raised, as its outcome.
#ifndef EMPUPDATE_TESTS_SUPPORT_DATACASES_H_
#define EMPUPDATE_TESTS_SUPPORT_DATACASES_H_

#include <cxxabi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

// What `f` returns, or the class name of what it throws, as the source
// names it (e.g. "Date::DayOutOfRange").
template <typename F>
std::string outcomeOf(F f) {
  try {
    return f();
  } catch (...) {
    char* name = abi::__cxa_demangle(
        abi::__cxa_current_exception_type()->name(), nullptr, nullptr, nullptr);
    const std::string text = name != nullptr ? name : "?";
    std::free(name);
    return text;
  }
}

// Checks that `run` turns the INPUT of each case of `file` into its
// OUTCOME; returns the number of cases.
inline int runCases(const char* file,
                    const std::function<std::string(const std::string&)>& run) {
  std::ifstream in(file);
  int count = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const auto arrow = line.find(" => ");  // none: the case fails
    EXPECT_EQ(run(line.substr(0, arrow)), line.substr(arrow + 4)) << line;
    ++count;
  }
  return count;
}

#endif  // EMPUPDATE_TESTS_SUPPORT_DATACASES_H_
