#include "FieldReader.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "Category.h"
#include "Display.h"
#include "EmpTrans.h"

namespace {

using Part = Finding::Part;
using Reason = Finding::Reason;
using Hint = Finding::Hint;

bool isWhiteSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A letter field that holds a word ("Hourly"): its first letter is taken,
// and the rest fails as the field after it.
bool isWord(const Finding& letter) {
  return letter.size > 1 && isLetter(letter.text[1]);
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

// Notes the letters a field takes in its finding, for its words.
void noteLetters(Finding& f, const std::string& letters) {
  const std::size_t n = std::min(letters.size(), sizeof f.letters - 1);
  std::memcpy(f.letters, letters.data(), n);
  f.letters[n] = '\0';
}

// "S, H or *"; or, `lower`, the letters in lower case, as "sh".
std::string categoryLetters(bool lower = false) {
  std::string letters;
  for (const Category& c : kCategories) {
    if (!lower) {
      letters += c.letter;
    } else if (c.letter >= 'A' && c.letter <= 'Z') {
      letters += static_cast<char>(c.letter - 'A' + 'a');
    }
  }
  return lower ? letters : Display::choices(letters);
}

}  // namespace

void FieldReader::suspectWord(Part first) {
  Finding& type = r_.note(Part::kType);
  if (!isWord(type)) return;
  type.next = first;
  noteLetters(type, EmpTrans::letters());
  r_.suspect(Part::kType, Reason::kWord);
}

void FieldReader::warnOfNumber(Part p) {
  const Finding& f = r_.note(p);
  if (f.line == 0 || !f.read) return;
  if (p == Part::kAmount && f.reason == Reason::kTooLong) {
    Finding w = f;
    w.reason = Reason::kAmountCut;
    r_.warn(w);
  }
  if (f.base == 10) return;
  if (f.base == 8 && std::stoll(std::string(f.text, f.length)) == f.value) {
    return;  // "0" and "07" mean the same in both bases
  }
  Finding w = f;
  w.reason = f.base == 8 ? Reason::kOctal : Reason::kHexadecimal;
  w.hint = Hint::kNone;
  r_.warn(w);
}

std::int32_t FieldReader::integer(Part p, Part next) {
  Finding& note = r_.note(p);
  std::int32_t value = 0;
  const bool read = in_.getNumber(value, modifstream::Overflow::kFail, &note);
  warnOfNumber(p);
  const bool last = next == Part::kType;
  if (read && note.reason == Reason::kNone) {
    // The rest of the line after the last field is skipped, whatever it
    // holds; before a name, a quote may end the number too.
    if (last) return value;
    const int after = in_.peekRaw();
    if (const Reason end = endOf(note, after, next == Part::kName);
        end != Reason::kNone) {
      // "2015/4/1" where the amount belongs: the date came early.
      const bool date = p == Part::kAmount && after == '/' &&
                        isDate(std::string_view(note.text, note.size));
      r_.suspect(p, date ? Reason::kAmountMissing : end);
    }
    return value;
  }
  // A number that can't be read fails the stream, and with it the field
  // that follows; one cut short leaves its rest to fail it.
  r_.suspect(p);
  if (!last) return value;
  in_.checkRead();
  // No field follows that would report it.
  r_.fail(p);
  if (read) throw EmpTrans::NumberCutShort();
  throw EmpTrans::InvalidNumber();
}

void FieldReader::name(char* buffer, bool numberless) {
  try {
    in_.getQuoted(buffer, EmpTrans::kNameBytes, '"', &r_);
  } catch (const modifstream::InvalidQuotedString&) {
    // A number where the name belongs, in a transaction that takes none:
    // written by habit.
    Finding& n = r_.note(Part::kName);
    if (numberless && n.size > 0 && (isDigit(n.text[0]) || n.text[0] == '-')) {
      n.hint = Hint::kAddTakesNoNumber;
    }
    throw;
  }
  const Finding& note = r_.note(Part::kName);
  if (in_.quotedLostText()) {
    Finding w = note;
    w.reason = Reason::kNulInName;
    w.column = 0;
    r_.warn(w);
  }
  const std::size_t length = std::strlen(buffer);
  const bool ascii = std::all_of(buffer, buffer + length, [](char c) {
    return static_cast<unsigned char>(c) < 0x80;
  });
  if (!ascii && !Finding::notUtf8(std::string_view(buffer, length)).empty()) {
    Finding w = note;
    w.reason = Reason::kNotUtf8;
    r_.warn(w);
  }
}

std::int32_t FieldReader::category() {
  Finding& cat = r_.note(Part::kCategory);
  const Finding& name = r_.note(Part::kName);
  char letter = '\0';
  const bool read = in_.getChar(letter, &cat);
  in_.checkRead();
  if (!read) {
    r_.fail(Part::kCategory, Reason::kMissing);
    throw EmpTrans::InvalidCategory();
  }
  const auto* found =
      std::find_if(std::begin(kCategories), std::end(kCategories),
                   [letter](const Category& c) { return c.letter == letter; });
  if (found == std::end(kCategories)) {
    if (quoteInName(name, cat)) {
      r_.fail(Part::kName, Reason::kQuoteInName);
    } else {
      noteLetters(cat, categoryLetters());
      r_.fail(Part::kCategory, Reason::kNotLetter,
              letter == ',' ? Hint::kCommas
              : categoryLetters(true).find(letter) != std::string::npos
                  ? Hint::kUpperCase
                  : Hint::kNone);
    }
    throw EmpTrans::InvalidCategory();
  }
  // A word where the letter belongs ("Hourly"): no amount starts with a
  // letter, so the transaction will fail, for the word.
  if (isWord(cat) && quoteInName(name, cat)) {
    r_.suspect(Part::kName, Reason::kQuoteInName);  // "Gus "Hank" Tan"
  } else if (isWord(cat)) {
    cat.next = Part::kAmount;
    noteLetters(cat, categoryLetters());
    r_.suspect(Part::kCategory, Reason::kWord);
  }
  return found->code;
}

Date FieldReader::date(bool last) {
  const Date d = in_.getDate(&r_);
  // A digit right after the day: the number rule ended it early.
  if (last && r_.note(Part::kDay).reason != Reason::kNone) {
    r_.fail(Part::kDay);
    throw EmpTrans::NumberCutShort();
  }
  return d;
}
