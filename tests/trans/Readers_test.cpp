// Runs the cases of readers.txt: each reader of the transaction file on a
// scratch file holding the case's input.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "AddTrans.h"
#include "ChangeTrans.h"
#include "DeleteTrans.h"
#include "EmpTrans.h"
#include "Escapes.h"
#include "ScratchDir.h"

namespace {

std::string quote(const std::string& s) { return "\"" + escape(s) + "\""; }

// Everything left unread, read after clearing the stream's state.
std::string rest(modifstream& in) {
  in.clear();
  std::string s;
  for (int c; (c = in.get()) != modifstream::traits_type::eof();) s += c;
  return s;
}

std::string dateText(const Date& d) {
  return std::to_string(d.getYear()) + "-" + std::to_string(d.getMonth()) +
         "-" + std::to_string(d.getDay());
}

std::string describe(const EmpTrans& t) {
  if (dynamic_cast<const DeleteTrans*>(&t)) return "D" + std::to_string(t.id);
  return (dynamic_cast<const AddTrans*>(&t) ? "A" : "C") +
         std::to_string(t.id) + " '" + t.name + "' " +
         std::to_string(t.category) + " " + std::to_string(t.amount) + " " +
         dateText(t.date);
}

std::string readFile() {
  EmpTrans::openFile();
  std::string out, end;
  try {
    for (;;) {
      auto t = EmpTrans::get();
      out += describe(*t) + "@" + std::to_string(EmpTrans::line()) + "; ";
    }
  } catch (EmpTrans::NoMore&) {
    end = "end";
  } catch (EmpTrans::InvalidType&) {
    end = "type";
  } catch (EmpTrans::InvalidContent&) {
    end = "content";
  } catch (modifstream::InvalidQuotedString&) {
    end = "quote";
  } catch (modifstream::MaxLenExceeded&) {
    end = "long";
  } catch (modifstream::InvalidDate&) {
    end = "date";
  } catch (Date::OutOfRange&) {
    end = "range";
  }
  EmpTrans::closeFile();
  return out + end + "@" + std::to_string(EmpTrans::line());
}

std::string outcome(const std::string& reader, const std::string& option) {
  if (reader == "file") return readFile();
  modifstream in(EmpTrans::kFileName);
  if (reader == "text") return quote(rest(in));
  if (reader == "number") {
    std::int32_t v = 99;
    const bool ok =
        in.getNumber(v, option == "clamp" ? modifstream::Overflow::kClamp
                                          : modifstream::Overflow::kFail);
    const bool cut = in.numberCutShort();
    return (ok ? "ok " : "fail ") + std::to_string(v) + " " + quote(rest(in)) +
           (cut ? " cut" : "");
  }
  if (reader == "quoted") {
    char buf[40] = {};
    try {
      in.getQuoted(buf, std::stoi(option), '"');
      return "ok " + quote(buf) + " " + quote(rest(in));
    } catch (modifstream::InvalidQuotedString&) {
      return "invalid " + quote(rest(in));
    } catch (modifstream::MaxLenExceeded&) {
      return "toolong " + quote(rest(in));
    }
  }
  try {
    return dateText(in.getDate());
  } catch (modifstream::InvalidDate&) {
    return "separator";
  } catch (Date::YearOutOfRange&) {
    return "year";
  } catch (Date::MonthOutOfRange&) {
    return "month";
  } catch (Date::DayOutOfRange&) {
    return "day";
  }
}

TEST(ReadersTest, CasesOfTheDataFile) {
  std::ifstream cases(EMP_READER_CASES);
  int count = 0;
  for (std::string line; std::getline(cases, line);) {
    if (line.empty() || line[0] == '#') continue;
    const auto open = line.find('"');
    auto close = open + 1;  // the first quote that no backslash escapes
    while (close < line.size() && line[close] != '"') {
      close += line[close] == '\\' ? 2 : 1;
    }
    const auto arrow = line.find(" => ", close);
    ASSERT_NE(arrow, std::string::npos) << line;
    std::string reader = line.substr(0, open - 1), option;
    std::istringstream(line.substr(close + 1, arrow - close - 1)) >> option;
    ScratchDir dir;
    ScratchDir::put(EmpTrans::kFileName,
                    unescape(line.substr(open + 1, close - open - 1)));
    EXPECT_EQ(outcome(reader, option), line.substr(arrow + 4)) << line;
    ++count;
  }
  EXPECT_GT(count, 90);
}

}  // namespace
