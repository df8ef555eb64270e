// Runs the cases of readers.txt: each reader of the transaction file on a
// scratch file holding the case's input.
#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <string>

#include "DataCases.h"
#include "Diagnostic.h"
#include "EmpTrans.h"
#include "Escapes.h"
#include "ScratchDir.h"
#include "TypesMarked.h"

namespace {

std::string quote(const std::string& s) { return "\"" + escape(s) + "\""; }

// Everything left unread, read after clearing the stream's state.
std::string rest(modifstream& in) {
  in.clear();
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string dateText(const Date& d) {
  return std::to_string(d.getYear()) + "-" + std::to_string(d.getMonth()) +
         "-" + std::to_string(d.getDay());
}

// The transaction just read, as its letter and id, the rest of the fields
// it is written with, and its warnings.
std::string describe(const EmpTrans& t, const Reading& r) {
  using Part = Finding::Part;
  const EmpTrans::Kind& kind = *EmpTrans::kinds()[t.kind()];
  std::string out = kind.letter + std::to_string(t.id);
  for (const Part p : kind.fields) {
    out += p == Part::kName       ? " '" + escape(t.name) + "'"
           : p == Part::kCategory ? " " + std::to_string(t.category)
           : p == Part::kAmount   ? " " + std::to_string(t.amount)
           : p == Part::kDate     ? " " + dateText(t.date)
                                  : "";
  }
  for (const Finding& w : r.warnings()) out += " [" + w.what() + "]";
  return out;
}

// The file read to its end or first error; with `goOn`, read on past each
// failure from where the dry run resumes, each error told in turn.
std::string readFile(bool goOn) {
  EmpTrans::openFile();
  std::string out;
  Reading r;
  for (bool more = true; more;) {
    try {
      const auto t = EmpTrans::get(r);
      out += describe(*t, r) + "@" + std::to_string(r.line()) + "; ";
    } catch (const EmpTrans::NoMore&) {
      out += "EmpTrans::NoMore@" + std::to_string(r.line());
      more = false;
    } catch (...) {
      const Finding* f = r.error();
      out += f == nullptr ? "no finding"
                          : std::to_string(f->line) + ":" +
                                std::to_string(f->column) + ": " + f->what();
      more = goOn && f != nullptr;
      if (more) EmpTrans::skipFailed(r), out += "; ";
    }
  }
  EmpTrans::closeFile();
  return out;
}

std::string outcome(const std::string& reader, std::istream& options) {
  if (reader == "reopened") {  // one read, then the file opened again
    EmpTrans::openFile();
    EmpTrans::get();
  }
  if (reader == "file" || reader == "edit" || reader == "reopened")
    return readFile(reader == "edit");
  modifstream in(EmpTrans::kFileName);
  if (reader == "date")
    return outcomeOf([&] { return dateText(in.getDate()); });
  std::string out;
  if (reader == "quoted") {
    int maxLen = 0;
    options >> maxLen;
    char buf[40] = {};
    out = outcomeOf([&] {
      in.getQuoted(buf, maxLen, '"');
      return "ok " + quote(buf);
    });
  }
  // number: one read for each of the options, in turn.
  for (std::string mode; options >> mode;) {
    std::int32_t v = 99;
    const bool ok =
        in.getNumber(v, mode == "clamp" ? modifstream::Overflow::kClamp
                                        : modifstream::Overflow::kFail);
    out += (out.empty() ? "" : ", ") + std::string(ok ? "ok " : "fail ") +
           std::to_string(v);
  }
  const bool cut = reader == "number" && in.numberCutShort();
  out = (out.empty() ? "" : out + " ") + quote(rest(in)) + (cut ? " cut" : "");
  // Text other than white space after a 0x1A, left unread.
  return out + (in.textAfterEnd() ? " and text after the end" : "");
}

TEST(ReadersTest, CasesOfTheDataFile) {
  const int count = runCases(EMP_READER_CASES, [](const std::string& c) {
    const auto open = c.find('"'), close = c.rfind('"');
    ScratchDir dir;
    ScratchDir::put(EmpTrans::kFileName,
                    unescape(c.substr(open + 1, close - open - 1)));
    std::istringstream options(c.substr(close + 1));
    return typesMarked(outcome(c.substr(0, open - 1), options));
  });
  EXPECT_GT(count, 130);
}

TEST(TextModeTest, CrLfSplitAcrossReadsIsStillOneLineFeed) {
  ScratchDir dir;
  // The filter's first read takes 8191 bytes: the CR is its last.
  const std::string x(8190, 'x');
  ScratchDir::put(EmpTrans::kFileName, x + "\r\ny");
  modifstream in(EmpTrans::kFileName);
  EXPECT_EQ(rest(in), x + "\ny");
}

// What a kind refuses as it applies is worded from the reasons table; an
// error no row words is told as the internal error it is, never as a
// mistake of the batch.
TEST(DiagnosticTest, WordsOfErrorsOfNoRow) {
  Finding f;
  f.reason = Finding::Reason::kChangesNothing;
  EXPECT_EQ(Diagnostic::what(std::make_exception_ptr(EmpTrans::Refused{
                                 {}, Finding::Reason::kChangesNothing}),
                             {}),
            f.what());
  struct Unknown : EmpTrans::EmpTransErrors {};
  EXPECT_EQ(Diagnostic::what(std::make_exception_ptr(Unknown()), {}),
            "internal error: unknown exception");
}

}  // namespace
