#include "EmpTrans.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "AddTrans.h"
#include "ChangeTrans.h"
#include "DeleteTrans.h"
#include "ScratchDir.h"

namespace {

std::string describe(const EmpTrans& t) {
  std::string kind = dynamic_cast<const AddTrans*>(&t)      ? "A"
                     : dynamic_cast<const ChangeTrans*>(&t) ? "C"
                     : dynamic_cast<const DeleteTrans*>(&t) ? "D"
                                                            : "?";
  if (kind == "D") return "D" + std::to_string(t.id);
  const Date& d = t.date;
  return kind + std::to_string(t.id) + " '" + t.name + "' " +
         std::to_string(t.category) + " " + std::to_string(t.amount) + " " +
         std::to_string(d.getYear()) + "-" + std::to_string(d.getMonth()) +
         "-" + std::to_string(d.getDay());
}

// Reads emptrans.dat holding `text` to its end or first error: each
// transaction with the line of its type letter, then how the reading ended.
std::string parseAll(const std::string& text) {
  ScratchDir dir;
  ScratchDir::put("emptrans.dat", text);
  EmpTrans::openFile();
  std::string out;
  const char* end = nullptr;
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

TEST(EmpTransTest, FilesParseIntoTransactions) {
  struct Case {
    const char* what;
    std::string text, want;
  } cases[] = {
      {"empty", "", "end@1"},
      {"white space only", " \n\t\r\n \n", "end@4"},
      {"one of each", "A \"Ann\" H 500 1999/5/17\nC 7 \"\" * 0 1901/1/1\nD 7\n",
       "A-1 'Ann' 1 500 1999-5-17@1; C7 '' -1 0 1901-1-1@2; D7@3; end@4"},
      {"blank lines, indentation, no final line feed", "\n\n   D 1\n\t\tD 2",
       "D1@3; D2@4; end@4"},
      {"fields spread over lines",
       "C\n5\n\"Bo\"\nS\n-3\n2000/1/2 trailing\nD 6\n",
       "C5 'Bo' 0 -3 2000-1-2@1; D6@7; end@8"},
      {"two on one line: the second is lost", "D 1 D 2\nD 3\n",
       "D1@1; D3@2; end@3"},
      {"CR LF line ends and a Ctrl-Z",
       "D 1\r\nD 2\r\n\x1A"
       "D 3\r\n",
       "D1@1; D2@2; end@3"},
      {"bases", "D 010\nD 0x1F\nD -5\n", "D8@1; D31@2; D-5@3; end@4"},
      {"lower-case type", "D 1\nd 2\n", "D1@1; type@2"},
      {"bad type after two good", "D 1\nD 2\nX 3\nD 4\n", "D1@1; D2@2; type@3"},
      {"bad category", "A \"x\" Q 1 2000/1/1\n", "content@1"},
      {"no category before the end", "A \"x\"", "content@1"},
      {"number right after A", "A 5 \"x\" S 1 2000/1/1\n", "quote@1"},
      {"C without a number", "C \"x\" S 1 2000/1/1\n", "quote@1"},
      {"C number out of range", "C 2147483648 \"x\" S 1 2000/1/1\n", "quote@1"},
      {"amount out of range", "A \"x\" S 3000000000 2000/1/1\n", "date@1"},
      {"name too long", "A \"" + std::string(32, 'n') + "\" S 1 2000/1/1\n",
       "long@1"},
      {"D without a number mid-file", "D 1\nD\nD 3\n", "D1@1; content@2"},
      {"D without a number at the end", "D 1\nD \n", "D1@1; content@2"},
      {"D number out of range", "D 2147483648\n", "content@1"},
      {"D 08 cut short", "D 08\n", "content@1"},
      {"D cut at 15 characters", "D 0000000000000012\n", "content@1"},
      {"day 019 cut short", "A \"x\" S 1 2000/1/019\n", "content@1"},
      {"other text after the last number",
       "D 5x\nD 6 7\nA \"a\" * 0 2000/1/1;9\n",
       "D5@1; D6@2; A-1 'a' -1 0 2000-1-1@3; end@4"},
      {"date out of range", "D 1\nA \"x\" S 1 2001/2/29\n", "D1@1; range@2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseAll(c.text), c.want) << c.what;
  }
}

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
