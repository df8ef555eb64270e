#include "modifstream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>

#include "ScratchDir.h"

namespace {

namespace fs = std::filesystem;
using Overflow = modifstream::Overflow;

// A modifstream on a scratch file holding `text`.
struct Reader {
  explicit Reader(const std::string& text) {
    ScratchDir::put("t.dat", text);
    in = std::make_unique<modifstream>("t.dat");
  }
  // Everything left unread, read after clearing the stream's state.
  std::string rest() {
    in->clear();
    std::string s;
    for (int c; (c = in->get()) != modifstream::traits_type::eof();) {
      s += static_cast<char>(c);
    }
    return s;
  }
  ScratchDir dir;
  std::unique_ptr<modifstream> in;
};

TEST(NumberRuleTest, Table) {
  struct Case {
    std::string text;
    Overflow overflow;
    bool ok;
    std::int32_t value;  // 99 where a failed read stores nothing
    std::string rest;
    bool cutShort;
  } cases[] = {
      {"123 ", Overflow::kFail, true, 123, " ", false},
      {" \n\t\v\f\r-42x", Overflow::kFail, true, -42, "x", false},
      {"+7", Overflow::kFail, true, 7, "", false},
      {"010", Overflow::kFail, true, 8, "", false},
      {"0x1F", Overflow::kFail, true, 31, "", false},
      {"0X1f;", Overflow::kFail, true, 31, ";", false},
      {"-0x10", Overflow::kFail, true, -16, "", false},
      {"0", Overflow::kFail, true, 0, "", false},
      {"08", Overflow::kFail, true, 0, "8", true},
      {"0779", Overflow::kFail, true, 63, "9", true},
      {"0000000000000012", Overflow::kFail, true, 1, "2", true},
      {"0x0000000000001F", Overflow::kFail, true, 1, "F", true},
      {"1,000", Overflow::kFail, true, 1, ",000", false},
      {"12\r\n", Overflow::kFail, true, 12, "\n", false},
      {"0x", Overflow::kFail, false, 0, "0x", false},
      {"0xg", Overflow::kFail, false, 0, "0xg", false},
      {"+x", Overflow::kFail, false, 0, "+x", false},
      {"-", Overflow::kFail, false, 0, "-", false},
      {"\xFF", Overflow::kFail, false, 0, "\xFF", false},
      {"", Overflow::kFail, false, 99, "", false},
      {" \n ", Overflow::kFail, false, 99, "", false},
      {"2147483647", Overflow::kFail, true, 2147483647, "", false},
      {"-2147483648", Overflow::kFail, true, -2147483648, "", false},
      {"2147483648", Overflow::kFail, false, 2147483647, "", false},
      {"-2147483649", Overflow::kFail, false, -2147483648, "", false},
      {"0x80000000", Overflow::kFail, false, 2147483647, "", false},
      {"2147483648", Overflow::kClamp, true, 2147483647, "", false},
      {"-2147483649", Overflow::kClamp, true, -2147483648, "", false},
      {"1234567890123456", Overflow::kClamp, true, 2147483647, "6", true},
  };
  for (const auto& c : cases) {
    Reader r(c.text);
    std::int32_t v = 99;
    EXPECT_EQ(r.in->getNumber(v, c.overflow), c.ok) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
    EXPECT_EQ(r.in->fail(), !c.ok) << c.text;
    EXPECT_EQ(r.in->numberCutShort(), c.cutShort) << c.text;
    EXPECT_EQ(r.rest(), c.rest) << c.text;
  }
}

TEST(NumberRuleTest, AFailedReadFailsEveryLaterRead) {
  Reader r("x 5 \"a\"");
  std::int32_t v = 0;
  EXPECT_FALSE(r.in->getNumber(v, Overflow::kFail));
  v = 7;
  EXPECT_FALSE(r.in->getNumber(v, Overflow::kClamp));
  EXPECT_EQ(v, 7);
  char name[32];
  EXPECT_THROW(r.in->getQuoted(name, 32, '"'),
               modifstream::InvalidQuotedString);
  // An overflow fails only its own kind of read.
  Reader big("99999999999 1");
  EXPECT_TRUE(big.in->getNumber(v, Overflow::kClamp));
  EXPECT_TRUE(big.in->getNumber(v, Overflow::kFail));
  EXPECT_EQ(v, 1);
}

TEST(TextModeTest, CrLfIsLfLoneCrStaysCtrlZEnds) {
  struct Case {
    std::string bytes, text;
  } cases[] = {
      {"a\r\nb\rc\r", "a\nb\rc\r"},
      {"\r\r\n\n", "\r\n\n"},
      {"ab\x1A"
       "cd\n",
       "ab"},
      {"\r\x1A\n", "\r"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
      // A CR LF pair split across the filter's 8 KiB reads.
      {std::string(8191, 'x') + "\r\ny", std::string(8191, 'x') + "\ny"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Reader(c.bytes).rest(), c.text);
  }
}

TEST(TextModeTest, CountsTheLinesConsumed) {
  Reader r("\n\r\n  A\n\nD");
  char c;
  *r.in >> c;
  EXPECT_EQ(c, 'A');
  EXPECT_EQ(r.in->line(), 3);
  *r.in >> c;
  EXPECT_EQ(r.in->line(), 5);
}

TEST(OpenTest, CreatesMissingFilesAndRefusesOthers) {
  ScratchDir dir;
  const mode_t old = ::umask(022);
  modifstream created("new.dat");
  ::umask(old);
  EXPECT_FALSE(created.fail());
  EXPECT_EQ(fs::file_size("new.dat"), 0u);
  EXPECT_EQ(fs::status("new.dat").permissions(), fs::perms(0644));
  fs::create_directory("dir.dat");
  ::mkfifo("fifo.dat", 0666);
  for (const char* name : {"dir.dat", "fifo.dat", "no/such/dir.dat"}) {
    EXPECT_TRUE(modifstream(name).fail()) << name;
  }
}

TEST(QuotedTest, Table) {
  enum Outcome { kOk, kInvalid, kTooLong };
  const std::string x31(31, 'x'), x32(32, 'x');
  struct Case {
    std::string text;
    int maxLen;
    Outcome want;
    std::string value, rest;
  } cases[] = {
      {"\"Smith\"", 32, kOk, "Smith", ""},
      {"  \" a b \"S", 32, kOk, " a b ", "S"},
      {"\n\n\t\"\"", 32, kOk, "", ""},
      {"\"" + x31 + "\"", 32, kOk, x31, ""},
      {"\"" + x32 + "\"", 32, kTooLong, "", "\""},
      {"\"a\rb\"", 32, kOk, "a\rb", ""},
      {std::string("\"a\0b\"", 5), 32, kOk, "a", ""},
      {"\"ab\ncd\"", 32, kInvalid, "", "cd\""},
      {"\"ab\r\ncd\"", 32, kInvalid, "", "cd\""},
      {"\"abc", 32, kTooLong, "", ""},
      {"\"ab\x1A\"", 32, kTooLong, "", ""},
      {"", 32, kInvalid, "", ""},
      {"Smith\"", 32, kInvalid, "", "mith\""},
      {"\"\"", 0, kTooLong, "", "\""},
  };
  for (const auto& c : cases) {
    Reader r(c.text);
    char buf[40] = {};
    Outcome got = kOk;
    try {
      r.in->getQuoted(buf, c.maxLen, '"');
    } catch (modifstream::InvalidQuotedString&) {
      got = kInvalid;
    } catch (modifstream::MaxLenExceeded&) {
      got = kTooLong;
    }
    EXPECT_EQ(got, c.want) << c.text;
    if (got == kOk) {
      EXPECT_EQ(std::string(buf), c.value) << c.text;
    }
    EXPECT_EQ(r.rest(), c.rest) << c.text;
  }
}

TEST(DateReaderTest, WorkedTable) {
  struct Case {
    std::string text, want;
  } cases[] = {
      {"2000/2/29", "2000-2-29"},
      {"2000 / 05 / 06", "2000-5-6"},
      {"+2000/+5/+6", "2000-5-6"},
      {"2000/010/011", "2000-8-9"},
      {"2000/0x0C/1", "2000-12-1"},
      {"\n2000\n/\n1/1", "2000-1-1"},
      {"2001/2/29", "day"},
      {"1900/1/1", "year"},
      {"2000-5-6", "separator"},
      {"2000/5-6", "separator"},
      {"2000/08/15", "separator"},
      {"2000/10/09", "day"},
      {"2000", "separator"},
      {"2000/", "month"},
      {"2000/5", "day"},
      {"2000/5/", "day"},
      {"2000/x/5", "month"},
      {"2000/5/x", "day"},
      {"1800/x/5", "year"},
      {"99999999999/1/1", "year"},
      {"x/5/6", "separator"},
  };
  for (const auto& c : cases) {
    Reader r(c.text);
    std::string got;
    try {
      const Date d = r.in->getDate();
      got = std::to_string(d.getYear()) + "-" + std::to_string(d.getMonth()) +
            "-" + std::to_string(d.getDay());
    } catch (modifstream::InvalidDate&) {
      got = "separator";
    } catch (Date::YearOutOfRange&) {
      got = "year";
    } catch (Date::MonthOutOfRange&) {
      got = "month";
    } catch (Date::DayOutOfRange&) {
      got = "day";
    }
    EXPECT_EQ(got, c.want) << c.text;
  }
}

TEST(ReadErrorTest, AnUnreadableFileIsNeverItsEnd) {
  // Reading /proc/self/mem at offset 0 fails with an I/O error.
  Reader r("");
  r.in = std::make_unique<modifstream>("/proc/self/mem");
  ASSERT_FALSE(r.in->fail());
  std::int32_t v = 0;
  EXPECT_FALSE(r.in->getNumber(v, Overflow::kFail));
  EXPECT_TRUE(r.in->bad());
  EXPECT_THROW(r.in->checkRead(), modifstream::ReadFailed);
  EXPECT_NE(r.in->error(), 0);
}

}  // namespace
