// Runs each folder of tools/cases (see CaseDir): the command line its
// `run` gives, in a directory laid out as the folder says, must end with
// the folder's status, standard output and standard error, and leave every
// file as it was: empdump and empdiff read only, and no command line that
// ends in help, a version or a usage error opens a file.
#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "CallsSwapped.h"
#include "CaseDir.h"
#include "CommandLine.h"
#include "DataCases.h"
#include "Escapes.h"
#include "Pairing.h"
#include "RecordText.h"
#include "RunProgram.h"
#include "ScratchDir.h"
#include "TypesMarked.h"

namespace {

class ToolCaseTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ToolCaseTest, Run) {
  CaseDir c(EMP_TOOL_CASES_DIR, GetParam());
  ScratchDir dir;
  c.prepare();
  const auto before = ScratchDir::listing();
  for (const std::string path :
       {EMPUPDATE_PATH, EMPCHECK_PATH, EMPDUMP_PATH,
        EMPDIFF_PATH, EMPUNDO_PATH})
    if (path.ends_with("/" + c.argv[0])) c.argv[0] = path;
  const ProgramResult r = runProgram(c.argv, ".", c.options);
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(typesMarked(r.out), c.out);
  EXPECT_EQ(typesMarked(r.err), c.err);
  EXPECT_EQ(ScratchDir::listing(), before) << "a file was changed or made";
  EXPECT_FALSE(c.fifoOpened()) << "a FIFO was opened";
}

// Each command line of command-lines.txt, parsed for the options there.
TEST(CommandLineTest, CasesOfTheDataFile) {
  const int count = runCases(EMP_COMMAND_LINES, [](const std::string& line) {
    std::istringstream words("p " + line);
    std::vector<std::string> args(std::istream_iterator<std::string>(words),
                                  {});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    CommandLine cl("p", "", "", 74);
    ::testing::internal::CaptureStderr();
    const int status = cl.parse(int(argv.size()), argv.data(),
                                {"--list", "--live", "--from="});
    const std::string err = ::testing::internal::GetCapturedStderr();
    const std::string* from = cl.value("--from");
    if (status == -1 && err.empty() && from != nullptr)
      return "go on, --from " + *from;
    return std::to_string(status) + " " + escape(err);
  });
  EXPECT_GT(count, 5);
}

// A read of OLD or NEW that fails, or finds the file shorter than it was
// when opened (another program cut it), stops empdiff with the words it
// tells. Each pread does what its step says: fail with errno -step, find
// the end of the file (0), or read (1).
TEST(PairingTest, AReadThatFailsOrComesShortIsTold) {
  static std::deque<long> steps;
  SystemCalls calls = SystemCalls::real();
  calls.pread = [](int fd, void* to, std::size_t n, off_t at) -> ssize_t {
    const long step = steps.empty() ? 1 : steps.front();
    if (!steps.empty()) steps.pop_front();
    if (step < 0) errno = int(-step);
    return step < 0 ? -1 : step == 0 ? 0 : ::pread(fd, to, n, at);
  };
  const std::pair<std::deque<long>, std::string> cases[] = {
      {{-EIO}, "old.dat: cannot read: Input/output error"},
      {{1, 0}, "new.dat: cannot read: the file shrank while it was read"},
      {{1, 1, 1, 1}, "none"}};
  ScratchDir dir;
  for (const char* file : {"old.dat", "new.dat"})
    ScratchDir::put(file, record_text::toBytes("2 0 \"a\" 0 1 2000/1/1\n"
                                               "1 0 \"b\" 0 1 2000/1/1\n"));
  for (const auto& [script, told] : cases) {
    RecordFile files[2];
    ASSERT_TRUE(files[0].open("old.dat", RecordFile::Access::kRead, false));
    ASSERT_TRUE(files[1].open("new.dat", RecordFile::Access::kRead, false));
    RecordReader old(files[0], 2, "old.dat"), now(files[1], 2, "new.dat");
    steps = script;
    CallsSwapped swapped(calls);
    struct : Pairing::Visitor {
      void paired(const Employee*, const Employee&, bool,
                  std::int64_t) override {}
      void removed(const Employee&) override {}
    } none;
    std::string what = "none";
    try {
      Pairing(old, now).visit(none);
    } catch (const RecordReader::Failure& f) {
      what = f.file + ": " + f.why;
    }
    EXPECT_EQ(what, told);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ToolCaseTest,
                         ::testing::ValuesIn(CaseDir::list(EMP_TOOL_CASES_DIR)),
                         CaseDir::testName);

}  // namespace
