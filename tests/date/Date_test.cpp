// Runs the cases of dates.txt.
#include "Date.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "DataCases.h"

namespace {

std::string text(const Date& d) {
  return std::to_string(d.getYear()) + "-" + std::to_string(d.getMonth()) +
         "-" + std::to_string(d.getDay());
}

// The bytes of the hex numbers of `in`.
std::string bytes(std::istream& in) {
  std::string b;
  for (std::string hex; in >> hex;) b += char(std::stoi(hex, nullptr, 16));
  return b;
}

const unsigned char* data(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

std::string run(const std::string& c) {
  const auto at = c.find(" from ");
  std::istringstream in(c.substr(0, at));
  std::istringstream from(at == std::string::npos ? "" : c.substr(at + 6));
  std::string kind;
  in >> kind;
  Date d;
  if (kind == "set") {
    int y, m, day;
    if (from >> y >> m >> day) d = Date(y, m, day);
    in >> y >> m >> day;
    const std::string outcome = outcomeOf([&] {
      d.set(y, m, day);
      return "ok";
    });
    return outcome + " " + text(d);
  }
  const std::string start = bytes(from), form = bytes(in);
  if (!start.empty()) d.decode(data(start), start.size());
  Date streamed = d;
  std::istringstream stream(form);
  streamed.readFrom(stream);
  d.decode(data(form), form.size());
  EXPECT_EQ(streamed, d) << "read from memory and from a stream: " << c;
  if (form.size() == Date::kBytes) {
    unsigned char encoded[Date::kBytes];
    d.encode(encoded);
    std::ostringstream written;
    d.writeTo(written);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(encoded), Date::kBytes),
              form);
    EXPECT_EQ(written.str(), form);
  }
  return text(d) + (stream.fail() ? " short" : "");
}

TEST(DateTest, CasesOfTheDataFile) {
  EXPECT_GT(runCases(EMP_DATE_CASES, run), 30);
}

}  // namespace
