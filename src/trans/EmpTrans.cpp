#include "EmpTrans.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <string_view>

#include "AddTrans.h"
#include "ChangeTrans.h"
#include "DeleteTrans.h"
#include "Display.h"

modifstream* EmpTrans::transFile = nullptr;

namespace {

using Part = Finding::Part;
using Reason = Finding::Reason;
using Hint = Finding::Hint;

bool isWhiteSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

template <typename T>
std::unique_ptr<EmpTrans> make() {
  return std::make_unique<T>();
}

// A letter field that holds a word ("Hourly"): its first letter is taken,
// and the rest fails as the field after it.
bool isWord(const Finding& letter) {
  return letter.size > 1 && isLetter(letter.text[1]);
}

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

// Warns of a number read in another base than its digits say in decimal,
// or, for the amount, ended by the length limit.
void warnOfNumber(Reading& r, Part p) {
  const Finding& f = r.note(p);
  if (f.line == 0 || !f.read) return;
  if (p == Part::kAmount && f.reason == Reason::kTooLong) {
    Finding w = f;
    w.reason = Reason::kAmountCut;
    r.warn(w);
  }
  if (f.base == 10) return;
  if (f.base == 8 && std::stoll(std::string(f.text, f.length)) == f.value) {
    return;  // "0" and "07" mean the same in both bases
  }
  Finding w = f;
  w.reason = f.base == 8 ? Reason::kOctal : Reason::kHexadecimal;
  w.hint = Hint::kNone;
  r.warn(w);
}

}  // namespace

namespace {

constexpr EmpTrans::Kind kKinds[] = {{'A', "add", make<AddTrans>, true},
                                     {'C', "change", make<ChangeTrans>, false},
                                     {'D', "delete", make<DeleteTrans>, false}};

}  // namespace

std::span<const EmpTrans::Kind> EmpTrans::kinds() { return kKinds; }

std::string EmpTrans::letters() {
  // Made only when a diagnostic names the letters: no state to keep.
  std::string out;
  const std::size_t n = kinds().size();
  for (std::size_t k = 0; k < n; ++k) {
    out += (k == 0       ? ""
            : k + 1 == n ? " or "
                         : ", ") +
           std::string(1, kinds()[k].letter);
  }
  return out;
}

namespace {

// A word where the type letter belongs ("Delete"): no kind's first field
// starts with a letter, so the transaction will fail, for the word.
void suspectWord(Reading& r, Part first) {
  if (!isWord(r.note(Part::kType))) return;
  r.note(Part::kType).next = first;
  r.suspect(Part::kType, Reason::kWord);
}

// What is wrong with a number read whole, by what stands right after it:
// white space must end it (or, where a name may follow, its quote); "1.5"
// and "500,50" are decimals.
Reason endOf(const Finding& note, int next, bool quoteMayFollow) {
  if (next == modifstream::traits_type::eof() || isWhiteSpace(next) ||
      (quoteMayFollow && next == '"')) {
    return Reason::kNone;
  }
  const bool decimal = (next == '.' || next == ',') &&
                       note.length + 1 < note.size &&
                       isDigit(note.text[note.length + 1]);
  return decimal ? Reason::kDecimal : Reason::kNotEnded;
}

// A category that fails where a double quote inside the name ended the
// name ("Gus "Red" Tan"): a double quote follows it on the name's line,
// before any comment. One on a later line, or in a comment, is no sign.
bool quoteInName(const Finding& name, const Finding& category) {
  if (category.line != name.line) return false;
  const std::string_view rest(category.text, category.size);
  return rest.substr(0, rest.find_first_of("\n#")).find('"') !=
         std::string_view::npos;
}

// "2015/4/1": a date.
bool isDate(std::string_view text) {
  text = text.substr(0, text.find_first_of(" \t\n\v\f\r"));
  int slashes = 0;
  for (const char c : text) {
    if (c == '/') {
      ++slashes;
    } else if (!isDigit(c)) {
      return false;
    }
  }
  return slashes == 2;
}

}  // namespace

void EmpTrans::readId(modifstream& in, Reading& r, bool last) {
  suspectWord(r, Part::kNumber);
  Finding& note = r.note(Part::kNumber);
  const bool read = in.getNumber(id, modifstream::Overflow::kFail, &note);
  if (read) warnOfNumber(r, Part::kNumber);
  if (read && note.reason == Reason::kNone) {
    // The rest of the line after the last field is skipped, whatever it
    // holds; before a name, a quote may end the number too.
    if (last) return;
    const Reason end = endOf(note, in.peekRaw(), true);
    if (end != Reason::kNone) r.suspect(Part::kNumber, end);
    return;
  }
  // A number that can't be read fails the stream, and with it the name
  // read that follows; one cut short leaves its rest to fail it.
  r.suspect(Part::kNumber);
  if (!last) return;
  in.checkRead();
  // No field follows that would report it.
  r.fail(Part::kNumber);
  if (read) throw NumberCutShort();
  throw InvalidNumber();
}

void EmpTrans::readContent() {
  Reading scratch;
  readContent(*transFile, scratch, false, false);
}

void EmpTrans::readContent(modifstream& in, Reading& r, bool add,
                           bool dateIn1901Ignored) {
  if (add) suspectWord(r, Part::kName);
  try {
    in.getQuoted(name, kNameBytes, '"', &r);
  } catch (const modifstream::InvalidQuotedString&) {
    // A number where the name of an add belongs: written by habit.
    const Finding& n = r.note(Part::kName);
    if (add && n.size > 0 && (isDigit(n.text[0]) || n.text[0] == '-')) {
      r.note(Part::kName).hint = Hint::kAddTakesNoNumber;
    }
    throw;
  }
  const Finding& nameNote = r.note(Part::kName);
  if (in.quotedLostText()) {
    Finding w = nameNote;
    w.reason = Reason::kNulInName;
    w.column = 0;
    r.warn(w);
  }
  const bool ascii = std::all_of(name, name + std::strlen(name), [](char c) {
    return static_cast<unsigned char>(c) < 0x80;
  });
  if (!ascii && !Finding::notUtf8(name).empty()) {
    Finding w = nameNote;
    w.reason = Reason::kNotUtf8;
    r.warn(w);
  }

  Finding& cat = r.note(Part::kCategory);
  char letter = '\0';
  const bool read = in.getChar(letter, &cat);
  in.checkRead();
  if (!read) {
    r.fail(Part::kCategory, Reason::kMissing);
    throw InvalidCategory();
  }
  switch (letter) {
    case 'S':
      category = 0;
      break;
    case 'H':
      category = 1;
      break;
    case '*':
      category = -1;
      break;
    default: {
      if (quoteInName(nameNote, cat)) {
        r.fail(Part::kName, Reason::kQuoteInName);
      } else {
        r.fail(Part::kCategory, Reason::kNotLetter,
               letter == 's' || letter == 'h' ? Hint::kUpperCase
               : letter == ','                ? Hint::kCommas
                                              : Hint::kNone);
      }
      throw InvalidCategory();
    }
  }

  // A word where the letter belongs ("Hourly"): no amount starts with a
  // letter, so the transaction will fail, for the word.
  if (isWord(cat) && quoteInName(nameNote, cat)) {
    r.suspect(Part::kName, Reason::kQuoteInName);  // "Gus "Hank" Tan"
  } else if (isWord(cat)) {
    cat.next = Part::kAmount;
    r.suspect(Part::kCategory, Reason::kWord);
  }

  // An amount that can't be read fails the stream, and with it the date;
  // one run into what follows it fails the date too, by the number rule.
  Finding& amountNote = r.note(Part::kAmount);
  const bool got =
      in.getNumber(amount, modifstream::Overflow::kFail, &amountNote);
  const int next = in.peekRaw();
  if (!got || amountNote.reason != Reason::kNone) {
    r.suspect(Part::kAmount);
  } else if (const Reason end = endOf(amountNote, next, false);
             end != Reason::kNone) {
    // "2015/4/1" where the amount belongs: the date came early.
    const bool date = next == '/' && isDate(std::string_view(amountNote.text,
                                                             amountNote.size));
    r.suspect(Part::kAmount, date ? Reason::kAmountMissing : end);
  }
  warnOfNumber(r, Part::kAmount);

  date = in.getDate(&r);
  const bool ignored = dateIn1901Ignored && date.getYear() == 1901;
  warnOfNumber(r, Part::kYear);
  if (!ignored) {
    warnOfNumber(r, Part::kMonth);
    warnOfNumber(r, Part::kDay);
  }
  // A digit right after the day: the number rule ended it early.
  if (r.note(Part::kDay).reason != Reason::kNone) {
    r.fail(Part::kDay);
    throw NumberCutShort();
  }
}

void EmpTrans::openFile(int* error) {
  if (transFile == nullptr) {
    auto* stream = new modifstream(kFileName);
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

  std::unique_ptr<EmpTrans> t;
  for (std::size_t k = 0; k < kinds().size() && t == nullptr; ++k) {
    if (kinds()[k].letter != letter) continue;
    t = kinds()[k].make();
    t->kind_ = static_cast<int>(k);
  }
  if (t == nullptr) {
    const char upper = letter >= 'a' && letter <= 'z'
                           ? static_cast<char>(letter - 'a' + 'A')
                           : '\0';
    bool lower = false;
    for (const Kind& k : kinds()) lower = lower || k.letter == upper;
    r.fail(Part::kType, Reason::kNotLetter,
           lower ? Hint::kUpperCase : Hint::kNone);
    throw InvalidType();
  }
  r.setKind(t->kind_);
  t->readFields(in, r);

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
    } else if (!isWhiteSpace(c) && !seen) {
      seen = true;
      if (carriageReturn) {
        rest.reason = Reason::kLoneCarriageReturn;
      } else if (c != '#') {
        rest.reason = Reason::kTextAfterLastField;
      }
    }
    c = in.getRaw();
  }
  in.checkRead();
  if (rest.reason != Reason::kNone) r.warn(rest);
  return t;
}

void EmpTrans::skipFailed(const Reading& r) {
  // A type letter in lower case starts a transaction too, which then
  // fails for it: skipped, it would be a mistake never told.
  std::string letters;
  for (const Kind& k : kinds()) {
    letters += k.letter;
    letters += static_cast<char>(k.letter - 'A' + 'a');
  }
  transFile->resumeAtLine(r.line(), letters.c_str());
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
    std::cerr << '\n' << std::flush;
    std::cerr << "Transaction found for invalid employee: " << id << std::flush;
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
