#include "TransReader.h"

#include <cstddef>
#include <string_view>

namespace {

using Part = Finding::Part;
using Reason = Finding::Reason;
using Hint = Finding::Hint;

// Whether the first characters of the file say it is not plain text: a
// byte order mark, or UTF-16.
Reason encodingOf(const Finding& type) {
  const std::string_view t(type.text, type.size);
  if (t.starts_with("\xEF\xBB\xBF")) return Reason::kByteOrderMark;
  const bool utf16 = t.starts_with("\xFF\xFE") || t.starts_with("\xFE\xFF") ||
                     (t.size() >= 2 && (t[0] == '\0' || t[1] == '\0'));
  return utf16 ? Reason::kUtf16 : Reason::kNone;
}

}  // namespace

std::unique_ptr<EmpTrans> TransReader::get(Reading& r) {
  r.clear(in_.line());
  const bool first = in_.atStart();
  char letter = '\0';
  const bool read = in_.getChar(letter, &r.note(Part::kType));
  r.setLine(in_.line());
  in_.checkRead();  // a broken disk is not the end of the transactions
  if (!read) {
    if (in_.textAfterEnd()) {
      r.warn(Finding{.part = Part::kEnd, .line = in_.line()},
             Reason::kTextAfterEnd);
    }
    throw EmpTrans::NoMore();
  }
  const EmpTrans::Kind& kind = kindOf(letter, first, r);
  std::unique_ptr<EmpTrans> t = kind.make();
  t->kind_ = r.kind();
  FieldReader fields(in_, r);
  t->readContent(fields);
  t->review(r);
  skipRest(r, kind);
  return t;
}

const EmpTrans::Kind& TransReader::kindOf(char letter, bool first, Reading& r) {
  Finding& type = r.note(Part::kType);
  if (first) {
    if (const Reason encoding = encodingOf(type); encoding != Reason::kNone) {
      r.fail(Part::kType, encoding);
      throw EmpTrans::NotText();
    }
  }
  const int k = EmpTrans::placeOf(letter);
  if (k >= 0) {
    r.setKind(k);
    return *EmpTrans::kinds()[k];
  }
  // A letter in lower case is the kind it would be in upper case, which is
  // what the operator meant: read so after the failure.
  const char capital = modifstream::upper(letter);
  const int upper = capital != letter ? EmpTrans::placeOf(capital) : -1;
  if (upper >= 0) r.setKind(upper);
  type.setLetters(EmpTrans::letters());
  r.fail(Part::kType, FieldReader::notOfSet(type),
         upper >= 0 ? Hint::kUpperCase : Hint::kNone);
  throw EmpTrans::InvalidType();
}

void TransReader::skipRest(Reading& r, const EmpTrans::Kind& kind) {
  // Skip the rest of the line, stopping as soon as nothing can be read, and
  // note what was lost there: a comment, after a "#", is meant to be.
  Finding rest{.part = Part::kRest, .line = in_.line()};
  bool carriageReturn = false, seen = false;
  for (int c = in_.getRaw();
       c != '\n' && c != modifstream::traits_type::eof();) {
    if (c == '\r') {
      carriageReturn = true;
    } else if (!modifstream::isWhiteSpace(c) && !seen) {
      seen = true;
      if (carriageReturn) {
        rest.reason = Reason::kLoneCarriageReturn;
      } else if (c != '#') {
        // Noted where it starts, for its column and its text.
        rest.reason = Reason::kTextAfterLastField;
        in_.ungetRaw();
        in_.noteHere(rest);
        in_.getRaw();
      }
    }
    c = in_.getRaw();
  }
  in_.checkRead();
  if (rest.reason == Reason::kTextAfterLastField) {
    // Right after the digits of the last field, a number: it stopped there.
    const Part last =
        kind.fields.back() == Part::kDate ? Part::kDay : kind.fields.back();
    const Finding& n = r.note(last);
    if (n.read && n.line == rest.line &&
        rest.column == n.column + static_cast<long>(n.length)) {
      rest.next = last;
      rest.value = n.value;
    }
  }
  if (rest.reason != Reason::kNone) r.warn(rest);
}
