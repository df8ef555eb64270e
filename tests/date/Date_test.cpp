// Runs the cases of dates.txt. The 12-byte form is pinned with the
// records the run cases write and empdump shows.
#include "Date.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "DataCases.h"

namespace {

std::string run(const std::string& c) {
  std::istringstream in(c);
  int y, m, d, fromY, fromM, fromD;
  std::string from;
  in >> y >> m >> d >> from >> fromY >> fromM >> fromD;
  Date date;
  if (from == "from") date = Date(fromY, fromM, fromD);
  const std::string outcome = outcomeOf([&] {
    date.set(y, m, d);
    return "ok";
  });
  return outcome + " " + std::to_string(date.getYear()) + "-" +
         std::to_string(date.getMonth()) + "-" + std::to_string(date.getDay());
}

TEST(DateTest, CasesOfTheDataFile) {
  EXPECT_GT(runCases(EMP_DATE_CASES, run), 20);
}

}  // namespace
