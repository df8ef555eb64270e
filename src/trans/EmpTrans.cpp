#include "EmpTrans.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <string_view>

#include "Category.h"
#include "Display.h"
#include "FieldReader.h"

modifstream* EmpTrans::transFile = nullptr;

namespace {

using Part = Finding::Part;
using Reason = Finding::Reason;
using Hint = Finding::Hint;

// Whether the first characters of the file say it is not plain text: a
// byte order mark, or UTF-16.
Reason encodingOf(const Finding& type) {
  const auto* b = reinterpret_cast<const unsigned char*>(type.text);
  if (type.size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    return Reason::kByteOrderMark;
  }
  if (type.size >= 2 &&
      ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF) ||
       b[0] == 0 || b[1] == 0)) {
    return Reason::kUtf16;
  }
  return Reason::kNone;
}

// The place in the kinds table of the kind of type letter `c`, or -1.
int kindOf(char c) {
  const std::span<const EmpTrans::Kind* const> all = EmpTrans::kinds();
  for (std::size_t k = 0; k < all.size(); ++k) {
    if (all[k]->letter == c) return static_cast<int>(k);
  }
  return -1;
}

constexpr Part kContent[] = {Part::kName, Part::kCategory, Part::kAmount,
                             Part::kDate};

}  // namespace

std::string EmpTrans::letters() {
  // Made only when a diagnostic names the letters: no state to keep.
  std::string all;
  for (const Kind* k : kinds()) all += k->letter;
  return Display::choices(all);
}

std::string EmpTrans::synopsis(const Kind& kind) {
  std::string out(1, kind.letter);
  for (const Part p : kind.fields) out += std::string(" ") + Finding::syntax(p);
  return out;
}

std::string EmpTrans::kindList(const char* indent) {
  std::size_t width = 0;
  for (const Kind* k : kinds()) width = std::max(width, synopsis(*k).size());
  std::string out;
  for (const Kind* k : kinds()) {
    const std::string line = synopsis(*k);
    out += indent + line + std::string(width + 2 - line.size(), ' ') + k->name +
           "\n";
  }
  return out;
}

void EmpTrans::readContent() {
  Reading scratch;
  FieldReader in(*transFile, scratch);
  readFields(in, kContent, kind_);
}

void EmpTrans::readFields(FieldReader& in, std::span<const Part> fields,
                          int kind) {
  if (fields.empty()) return;
  in.suspectWord(fields.front());
  for (std::size_t k = 0; k < fields.size(); ++k) {
    const Part next = k + 1 < fields.size() ? fields[k + 1] : Part::kType;
    switch (fields[k]) {
      case Part::kNumber:
        id = in.integer(Part::kNumber, next);
        break;
      case Part::kName:
        in.name(name, std::find(fields.begin(), fields.end(), Part::kNumber) !=
                              fields.end()
                          ? Hint::kKeepsFields
                      : kind >= 0 && kinds()[kind]->givesNumber
                          ? Hint::kAddTakesNoNumber
                          : Hint::kNone);
        break;
      case Part::kCategory:
        category = in.category();
        break;
      case Part::kAmount:
        amount = in.integer(Part::kAmount, next);
        break;
      case Part::kDate:
        date = in.date(next == Part::kType);
        for (const Part q : {Part::kYear, Part::kMonth, Part::kDay}) {
          if (!ignores(q)) in.warnOfNumber(q);
        }
        break;
      default:
        break;
    }
  }
}

void EmpTrans::openFile(int* error, bool create) {
  if (transFile == nullptr) {
    auto* stream = new modifstream(kFileName, create);
    if (stream->fail()) {
      if (error != nullptr) *error = stream->error();
      delete stream;
      throw CantOpenFile();
    }
    transFile = stream;
  }
  transFile->rewind();
}

void EmpTrans::closeFile() {
  if (transFile == nullptr) return;
  transFile->close();
  delete transFile;
  transFile = nullptr;
}

std::unique_ptr<EmpTrans> EmpTrans::get() {
  Reading scratch;
  return get(scratch);
}

std::unique_ptr<EmpTrans> EmpTrans::get(Reading& r) {
  modifstream& in = *transFile;
  r.clear(in.line());
  const bool first = in.atStart();
  Finding& type = r.note(Part::kType);
  char letter = '\0';
  const bool read = in.getChar(letter, &type);
  r.setLine(in.line());
  in.checkRead();  // a broken disk is not the end of the transactions
  if (!read) {
    if (in.textAfterEnd()) {
      Finding w;
      w.part = Part::kEnd;
      w.reason = Reason::kTextAfterEnd;
      w.line = in.line();
      r.warn(w);
    }
    throw NoMore();
  }
  if (first) {
    if (const Reason encoding = encodingOf(type); encoding != Reason::kNone) {
      r.fail(Part::kType, encoding);
      throw NotText();
    }
  }

  const int k = kindOf(letter);
  if (k < 0) {
    // A letter in lower case is the kind it would be in upper case, which
    // is what the operator meant: read so after the failure.
    const int upper = letter >= 'a' && letter <= 'z'
                          ? kindOf(static_cast<char>(letter - 'a' + 'A'))
                          : -1;
    if (upper >= 0) r.setKind(upper);
    type.setLetters(letters());
    r.fail(Part::kType, Reason::kNotLetter,
           upper >= 0 ? Hint::kUpperCase : Hint::kNone);
    throw InvalidType();
  }
  const Kind& kind = *kinds()[k];
  std::unique_ptr<EmpTrans> t = kind.make();
  t->kind_ = k;
  r.setKind(t->kind_);
  FieldReader fields(in, r);
  t->readFields(fields, kind.fields, t->kind_);
  t->review(r);

  skipRest(in, r, kind);
  return t;
}

void EmpTrans::skipRest(modifstream& in, Reading& r, const Kind& kind) {
  // Skip the rest of the line, stopping as soon as nothing can be read, and
  // note what was lost there: a comment, after a "#", is meant to be.
  Finding rest;
  rest.part = Part::kRest;
  rest.line = in.line();
  bool carriageReturn = false, seen = false;
  for (int c = in.getRaw();
       c != '\n' && c != modifstream::traits_type::eof();) {
    if (c == '\r') {
      carriageReturn = true;
    } else if (!Finding::isWhiteSpace(c) && !seen) {
      seen = true;
      if (carriageReturn) {
        rest.reason = Reason::kLoneCarriageReturn;
      } else if (c != '#') {
        // Noted where it starts, for its column and its text.
        rest.reason = Reason::kTextAfterLastField;
        in.ungetRaw();
        in.noteHere(rest);
        in.getRaw();
      }
    }
    c = in.getRaw();
  }
  in.checkRead();
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

void EmpTrans::skipFailed(const Reading& r) {
  // A type letter in lower case starts a transaction too, which then
  // fails for it: skipped, it would be a mistake never told.
  std::string letters;
  for (const Kind* k : kinds()) {
    letters += k->letter;
    letters += static_cast<char>(k->letter - 'A' + 'a');
  }
  // The rest of the transaction is what its kind still expects after the
  // field blamed; a transaction of no kind ends with its line.
  const Finding& blamed = *r.error();
  int fields = 0;
  bool dateLast = false;
  if (r.kind() >= 0) {
    const std::span<const Part> all = kinds()[r.kind()]->fields;
    // A date taken for the amount, or the digits after a space inside it,
    // are read as the date: the fields after it are what is left.
    Part p = blamed.part;
    if (p == Part::kYear || p == Part::kMonth || p == Part::kDay ||
        blamed.reason == Reason::kAmountMissing ||
        blamed.reason == Reason::kSpaceInNumber) {
      p = Part::kDate;
    }
    const auto at = std::find(all.begin(), all.end(), p);
    fields = static_cast<int>(all.end() - at) - (at == all.end() ? 0 : 1);
    dateLast = all.back() == Part::kDate;
  }
  std::string categories;
  for (const Category& c : kCategories) categories += c.letter;
  bool name = blamed.part == Part::kName;
  const char first = blamed.size > 0 ? blamed.text[0] : '\0';
  // A name not quoted that is a category letter, or a number, is no name
  // at all: the field is the next one, read as a token.
  if (name && blamed.reason == Reason::kNotQuoted &&
      ((categories.find(first) != std::string::npos &&
        (blamed.size == 1 || Finding::isWhiteSpace(blamed.text[1]))) ||
       (first >= '0' && first <= '9') || first == '-')) {
    name = false;
  }
  // "500 H" or "7 S 100": an amount before the category, or a number too
  // many, before the letter.
  if (blamed.part == Part::kCategory && blamed.hint == Hint::kCategoryFirst) {
    ++fields;
  }
  transFile->recover(r.line(), letters.c_str(), categories.c_str(),
                     name && blamed.reason == Reason::kCutByLineEnd
                         ? modifstream::Rest::kNameGoesOn
                     : name && (blamed.reason == Reason::kNotQuoted ||
                                blamed.reason == Reason::kNameTooLong)
                         ? modifstream::Rest::kUpToQuote
                         : modifstream::Rest::kToken,
                     fields, dateLast);
}

void EmpTrans::moveToLine(long line) {
  while (transFile->line() < line &&
         transFile->getRaw() != modifstream::traits_type::eof()) {
  }
}

long EmpTrans::skipToNext() {
  while (Finding::isWhiteSpace(transFile->peekRaw())) transFile->getRaw();
  transFile->checkRead();  // a broken disk is not the end of the text
  return transFile->peekRaw() == modifstream::traits_type::eof()
             ? 0
             : transFile->line();
}

std::optional<Employee> EmpTrans::recordBefore() const {
  const std::span<const Part> fields = kinds()[kind_]->fields;
  if (std::find(fields.begin(), fields.end(), Part::kNumber) == fields.end()) {
    return std::nullopt;
  }
  return recordOf(id);
}

std::optional<Employee> EmpTrans::recordOf(std::int32_t id) {
  Employee e;
  try {
    e.load(id);
  } catch (Employee::NoSuch&) {
    return std::nullopt;
  }
  return e;
}

void EmpTrans::loadOrReport(Employee& e) const {
  try {
    e.load(id);
  } catch (Employee::NoSuch&) {
    *messages_ << '\n' << std::flush;
    *messages_ << "Transaction found for invalid employee: " << id
               << std::flush;
    throw;
  }
}

std::string EmpTrans::shownName(const Employee& e) {
  std::string out = "\"";
  for (const char c : Display::name(e.getNameField(), Employee::kNameBytes)) {
    out += c == '"' ? "\\\"" : std::string(1, c);
  }
  return out + "\"";
}

std::string EmpTrans::shownFields(const Employee& e) {
  return shownName(e) + " " + Display::category(e.getCategory()) + " " +
         std::to_string(e.getAmount()) + " " + Display::date(e.getDate());
}
