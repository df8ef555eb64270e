#include "modifstream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>

#include "RunProgram.h"
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

TEST(TextModeTest, CrLfSplitAcrossReadsIsStillOneLineFeed) {
  const std::string x(8191, 'x');  // the CR ends the filter's first read
  EXPECT_EQ(Reader(x + "\r\ny").rest(), x + "\ny");
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
  struct stat byName, byFd;
  ASSERT_EQ(::fstat(created.descriptor(), &byFd), 0);
  ASSERT_EQ(::stat("new.dat", &byName), 0);
  EXPECT_EQ(byFd.st_ino, byName.st_ino);
  EXPECT_EQ(byFd.st_dev, byName.st_dev);
  fs::create_directory("dir.dat");
  ::mkfifo("fifo.dat", 0666);
  // In a child under an alarm, so that an open waiting on the FIFO fails.
  const char* names[] = {"dir.dat", "fifo.dat", "no/such/dir.dat"};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(10);
    for (int i = 0; i < 3; ++i) {
      const modifstream in(names[i]);
      if (!in.fail() || in.descriptor() != -1) ::_exit(i + 1);
    }
    ::_exit(0);
  }
  EXPECT_EQ(waitStatus(pid), 0)
      << "1 + index of a name accepted; 1014: an open waited";
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
