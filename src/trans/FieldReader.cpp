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

constexpr auto isDigit = &modifstream::isDigit;

// A letter field that holds a word ("Hourly"): its first letter is taken,
// and the rest fails as the field after it.
bool isWord(const Finding& letter) {
  return letter.size > 1 && modifstream::isLetter(letter.text[1]);
}

// What is wrong with a number read whole, by what stands right after it:
// white space must end it (or, where a name may follow, its quote); "1.5"
// and "500,50" are decimals.
Reason endOf(const Finding& note, int next, bool quoteMayFollow) {
  if (next == modifstream::traits_type::eof() ||
      modifstream::isWhiteSpace(next) || (quoteMayFollow && next == '"')) {
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
  text = text.substr(0, text.find_first_of(modifstream::kWhiteSpace));
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

// "44 000 2000/1/15" where the amount starts: digits after the number,
// with a date after them, so that the number holds a space. Looked at for
// every amount, so a plain loop: a date after the amount fails it at once.
bool spaceInside(const Finding& amount) {
  const char* p = amount.text + amount.length;
  const char* const end = amount.text + amount.size;
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (p < end && blank(*p)) ++p;
  const char* const digits = p;
  while (p < end && isDigit(*p)) ++p;
  if (p == digits || p == end || !blank(*p)) return false;
  while (p < end && blank(*p)) ++p;
  return isDate(std::string_view(p, static_cast<std::size_t>(end - p)));
}

// "500 H": an amount, then a category letter.
bool amountFirst(std::string_view text) {
  const std::size_t blank = text.find_first_of(modifstream::kWhiteSpace);
  if (blank == text.npos ||
      !std::all_of(text.begin(), text.begin() + blank,
                   [](char c) { return isDigit(c) || c == '-'; })) {
    return false;
  }
  const std::size_t letter =
      text.find_first_not_of(modifstream::kWhiteSpace, blank);
  return letter != text.npos && categoryOf(text[letter]) != nullptr;
}

// The category letters, as a diagnostic lists them: "S, H or *".
std::string categoryLetters() {
  std::string letters;
  for (const Category& c : kCategories) letters += c.letter;
  return Display::choices(letters);
}

// "(500)": an amount in accounting form.
bool accounting(std::string_view text) {
  const std::size_t close = text.find(')');
  return text.size() > 2 && text[0] == '(' && close != std::string_view::npos &&
         close > 1 &&
         text.substr(1, close - 1).find_first_not_of("0123456789,.") ==
             std::string_view::npos;
}

// "500-": the minus of an accounting export, after the digits of a number
// written without a sign.
bool minusAfter(const Finding& n) {
  const std::string_view text(n.text, n.size);
  return n.value > 0 && isDigit(text[0]) && text.size() > n.length &&
         text[n.length] == '-' &&
         (text.size() == n.length + 1 ||
          modifstream::isWhiteSpace(text[n.length + 1]));
}

// "500 -": that minus, apart, where the date belongs.
bool minusApart(const Finding& amount, const Finding& date) {
  const std::string_view text(date.text, date.size);
  return amount.line == date.line && amount.read && amount.value > 0 &&
         isDigit(amount.text[0]) && text.starts_with('-') &&
         (text.size() == 1 || modifstream::isWhiteSpace(text[1]));
}

// The text noted of a name, up to its closing quote or line end.
std::string_view nameText(const Finding& name) {
  const std::string_view text(name.text, name.size);
  return text.substr(0, text.find_first_of("\"\n", 1));
}

// Whether the text noted of a name shows its line ending before any
// closing quote.
bool cutByLineEnd(const Finding& name) {
  const std::size_t end = nameText(name).size();
  return end < name.size && name.text[end] == '\n';
}

// Whether `text` holds a character of more than one byte.
bool multibyte(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (Display::characterLength(text.substr(i)) > 1) return true;
  }
  return false;
}

// Whether `text` holds the byte 0x93 or 0x94 outside valid UTF-8, where
// they only follow others.
bool windowsDoubleQuote(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = Display::characterLength(text.substr(i));
    if (n == 0 && (text[i] == '\x93' || text[i] == '\x94')) return true;
    i += std::max<std::size_t>(n, 1);
  }
  return false;
}

// A curly quote of Windows-1252 where the name's double quote belongs:
// its first character (a single one too, bytes 0x91 and 0x92), or a double
// one (0x93, 0x94) in a name opened by a straight quote, which the name
// then ran past.
bool windowsQuote(const Finding& name) {
  const std::string_view text = nameText(name);
  if (text.empty()) return false;
  const auto first = static_cast<unsigned char>(text[0]);
  return (first >= 0x91 && first <= 0x94) ||
         (first == '"' && windowsDoubleQuote(text));
}

// What is wrong with a number, by the facts the stream noted of it: none
// when it was not reached (the stream had failed before it).
void judgeNumber(Finding& n) {
  n.reason = Reason::kNone;
  n.hint = Hint::kNone;
  if (n.line == 0 || (n.read && !n.cutShort)) return;  // the most of them
  if (n.size == 0) {
    n.reason = Reason::kMissing;
  } else if (n.length == 0) {
    n.reason = Reason::kNotNumber;
    n.hint = accounting(std::string_view(n.text, n.size))
                 ? Hint::kAccounting
                 : Finding::leadingHint(n.text[0]);
  } else if (!n.read) {
    n.reason = Reason::kOutOfRange;
  } else if (n.cutShort) {
    n.reason = n.length >= modifstream::kMaxNumberChars ? Reason::kTooLong
                                                        : Reason::kOctalDigit;
  }
}

// The value a date's part was read as: 0 when it could not be read.
std::int32_t valueOf(const Finding& n) {
  return n.line != 0 && n.length > 0 ? n.value : 0;
}

}  // namespace

void FieldReader::suspectWord(Part first) {
  Finding& type = r_.note(Part::kType);
  if (!isWord(type)) return;
  type.next = first;
  type.setLetters(EmpTrans::letters());
  r_.suspect(Part::kType, Reason::kWord);
}

Finding::Reason FieldReader::notOfSet(const Finding& letter) {
  const std::string_view text(letter.text, letter.size);
  const std::string_view first =
      text.substr(0, text.empty() ? 0 : Display::characterLength(text));
  // A character Display escapes, or one that passes for a character of the
  // syntax, is named by the words of every field.
  return first.size() > 1 && Display::hidden(first) < 0 &&
                 Display::lookalike(first) == nullptr
             ? Reason::kForeignLetter
             : Reason::kNotLetter;
}

void FieldReader::warnOfNumber(Part p) {
  const Finding& f = r_.note(p);
  if (f.line == 0 || !f.read) return;
  if (p == Part::kAmount && f.reason == Reason::kTooLong) {
    r_.warn(f, Reason::kAmountCut);
  }
  if (f.readInOtherBase()) {
    r_.warn(f, f.base == 8 ? Reason::kOctal : Reason::kHexadecimal);
  }
}

std::int32_t FieldReader::integer(Part p, Part next) {
  Finding& note = r_.note(p);
  std::int32_t value = 0;
  const bool read = in_.getNumber(value, modifstream::Overflow::kFail, &note);
  judgeNumber(note);
  warnOfNumber(p);
  const bool last = next == Part::kType;
  if (read && note.reason == Reason::kNone) {
    const int after = in_.peekRaw();
    const Reason end = endOf(note, after, next == Part::kName);
    if (last && end != Reason::kDecimal) {
      // The rest of the line after the last field is skipped, whatever it
      // holds; a decimal is wrong wherever the number stands.
      return value;
    }
    if (p == Part::kAmount && next == Part::kDate && spaceInside(note)) {
      r_.suspect(p, Reason::kSpaceInNumber);
    } else if (end != Reason::kNone) {
      // "2015/4/1" where the amount belongs: the date came early.
      const bool date = p == Part::kAmount && after == '/' &&
                        isDate(std::string_view(note.text, note.size));
      const bool minus =
          p == Part::kAmount && end == Reason::kNotEnded && minusAfter(note);
      r_.suspect(p,
                 date    ? Reason::kAmountMissing
                 : minus ? Reason::kNotNumber
                         : end,
                 minus ? Hint::kMinusFirst : Hint::kNone);
    }
    if (!last) return value;
  } else {
    // A number that can't be read fails the stream, and with it the field
    // that follows; one cut short leaves its rest to fail it.
    r_.suspect(p);
    if (!last) return value;
  }
  in_.checkRead();
  // No field follows that would report it.
  r_.fail(p);
  if (read && note.reason != Reason::kNone) throw EmpTrans::NumberCutShort();
  throw EmpTrans::InvalidNumber();
}

void FieldReader::name(char* buffer, Hint numberHint) {
  Finding& n = r_.note(Part::kName);
  try {
    in_.getQuoted(buffer, EmpTrans::kNameBytes, '"', &n);
  } catch (const modifstream::InvalidQuotedString&) {
    const char first = n.size > 0 ? n.text[0] : '\0';
    if (n.line == 0) {
      r_.fail(Part::kName);  // the stream failed before: already blamed
    } else if (n.size == 0) {
      r_.fail(Part::kName, Reason::kMissing);
    } else if (first == '"') {
      r_.fail(Part::kName, Reason::kCutByLineEnd,
              windowsQuote(n) ? Hint::kWindowsQuotes : Hint::kNone);
    } else {
      // A number where the name belongs: the employee number of an add,
      // written by habit, or the amount of a change written without the
      // fields it keeps.
      n.hint = isDigit(first) || first == '-' ? numberHint
               : windowsQuote(n)              ? Hint::kWindowsQuotes
                                              : Finding::leadingHint(first);
      r_.fail(Part::kName, Reason::kNotQuoted);
    }
    throw;
  } catch (const modifstream::MaxLenExceeded&) {
    failOverlong(n);
    throw;
  }
  auto warn = [&](Reason why, long value = 0) {
    Finding w = n;
    w.value = static_cast<std::int32_t>(value);
    // What a NUL byte loses is the name's, wherever it stood in it.
    if (why == Reason::kNulInName) w.column = 0;
    r_.warn(w, why);
  };
  if (in_.quotedLostText()) warn(Reason::kNulInName);
  const std::string_view name(buffer, std::strlen(buffer));
  // " " meant as "keep the name", which "" is.
  if (!name.empty() && name.find_first_not_of(" \t") == name.npos) {
    warn(Reason::kBlankName);
  }
  const bool ascii = std::all_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x20 &&
           static_cast<unsigned char>(c) < 0x7F;
  });
  if (ascii) return;
  if (!Finding::notUtf8(name).empty()) warn(Reason::kNotUtf8);
  // Stored silently, though empdump shows it escaped.
  if (const long code = Display::hidden(name); code >= 0) {
    warn(Reason::kInvisibleInName, code);
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
  const Category* found = categoryOf(letter);
  if (found == nullptr) {
    const std::string_view text(cat.text, cat.size);
    if (letter == '"' && text.size() >= 3 && text[2] == '"' &&
        categoryOf(text[1]) != nullptr) {
      r_.fail(Part::kCategory, Reason::kQuotedLetter);  // "H", from a sheet
    } else if (quoteInName(name, cat)) {
      r_.fail(Part::kName, Reason::kQuoteInName);
    } else {
      cat.setLetters(categoryLetters());
      r_.fail(Part::kCategory, notOfSet(cat),
              letter != modifstream::upper(letter) &&
                      categoryOf(modifstream::upper(letter)) != nullptr
                  ? Hint::kUpperCase
              : amountFirst(text) ? Hint::kCategoryFirst
                                  : Finding::leadingHint(letter));
    }
    throw EmpTrans::InvalidCategory();
  }
  // A word where the letter belongs ("Hourly"): no amount starts with a
  // letter, so the transaction will fail, for the word.
  if (isWord(cat) && quoteInName(name, cat)) {
    r_.suspect(Part::kName, Reason::kQuoteInName);  // "Gus "Hank" Tan"
  } else if (isWord(cat)) {
    cat.next = Part::kAmount;
    cat.setLetters(categoryLetters());
    r_.suspect(Part::kCategory, Reason::kWord);
  }
  return found->code;
}

void FieldReader::failOverlong(const Finding& n) {
  // Ended by the text, or by the limit: then a closing quote may follow,
  // unless the text noted shows the line ending first. Then the name is
  // cut by it, as a short one is, however far the line ran.
  const Reason why = in_.eof()         ? Reason::kNotClosed
                     : cutByLineEnd(n) ? Reason::kCutByLineEnd
                                       : Reason::kNameTooLong;
  if (why == Reason::kCutByLineEnd) toLineEnd();
  r_.fail(Part::kName, why,
          windowsQuote(n) ? Hint::kWindowsQuotes
          : why == Reason::kNameTooLong && multibyte(nameText(n))
              ? Hint::kMultibyte
              : Hint::kNone);
}

void FieldReader::toLineEnd() {
  auto c = in_.getRaw();
  while (c != '\n' && c != modifstream::traits_type::eof()) c = in_.getRaw();
  in_.checkRead();
}

void FieldReader::judgeDate() {
  // A part cut short by the number rule leaves its rest to fail what
  // follows: it is to blame. One that can't be read counts as 0, and is
  // to blame when the date fails for it.
  for (const Part p : {Part::kYear, Part::kMonth, Part::kDay}) {
    Finding& n = r_.note(p);
    judgeNumber(n);
    if (n.reason == Reason::kOctalDigit || n.reason == Reason::kTooLong) {
      r_.suspect(p);
    }
  }
}

void FieldReader::outOfRange(Part p, Hint hint) {
  const Reason why = r_.note(p).reason;
  r_.fail(p, why == Reason::kNone ? Reason::kDateOutOfRange : why, hint);
}

Date FieldReader::date(bool last) {
  Finding& year = r_.note(Part::kYear);
  Finding& month = r_.note(Part::kMonth);
  Finding& day = r_.note(Part::kDay);
  try {
    const Date date = in_.getDate(&year, &month, &day);
    judgeDate();
    // A digit right after the day: the number rule ended it early. A
    // decimal is wrong there as anywhere.
    if (last && day.reason != Reason::kNone) {
      r_.fail(Part::kDay);
      throw EmpTrans::NumberCutShort();
    }
    if (last && endOf(day, in_.peekRaw(), false) == Reason::kDecimal) {
      in_.checkRead();
      r_.fail(Part::kDay, Reason::kDecimal);
      throw EmpTrans::InvalidNumber();
    }
    return date;
  } catch (const modifstream::InvalidDate&) {
    judgeDate();
    // The date as a whole starts where its year does.
    Finding& whole = r_.note(Part::kDate);
    whole = year;
    whole.part = Part::kDate;
    const Finding& amount = r_.note(Part::kAmount);
    const bool minus = minusApart(amount, whole);
    if (minus) whole.value = amount.value;
    r_.fail(
        Part::kDate,
        year.reason == Reason::kMissing ? Reason::kMissing : Reason::kNotDate,
        minus ? Hint::kMinusFirst : Hint::kNone);
    throw;
  } catch (const Date::YearOutOfRange&) {
    judgeDate();
    // "15" or "04": a year of two digits, "04" read as octal.
    const bool shortYear = year.length == 2 && valueOf(year) >= 0;
    r_.fail(Part::kYear, Reason::kDateOutOfRange,
            valueOf(day) >= 1901 && valueOf(day) <= 2099 ? Hint::kYearFirst
            : shortYear                                  ? Hint::kFourDigitYear
                                                         : Hint::kNone);
    throw;
  } catch (const Date::MonthOutOfRange&) {
    judgeDate();
    const std::int32_t mm = valueOf(month);
    outOfRange(Part::kMonth, mm >= 13 && mm <= 31 && month.base == 10
                                 ? Hint::kMonthOrder
                                 : Hint::kNone);
    throw;
  } catch (const Date::DayOutOfRange&) {
    judgeDate();
    day.year = valueOf(year);
    day.month = valueOf(month);
    day.days = Date::daysInMonth(day.year, day.month);
    outOfRange(Part::kDay, Hint::kNone);
    throw;
  }
}
