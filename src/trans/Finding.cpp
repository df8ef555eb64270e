#include "Finding.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "Display.h"
#include "modifstream.h"

void Finding::setLetters(std::string_view words) {
  const std::size_t n = std::min(words.size(), sizeof letters - 1);
  std::memcpy(letters, words.data(), n);
  letters[n] = '\0';
}

Finding::Hint Finding::leadingHint(char c) {
  return c == ','    ? Hint::kCommas
         : c == ';'  ? Hint::kSemicolons
         : c == '\'' ? Hint::kApostrophe
                     : Hint::kNone;
}

namespace {

using Part = Finding::Part;
using Reason = Finding::Reason;
using Hint = Finding::Hint;

// The fields, in the order of Part: as a diagnostic names them, and as a
// transaction's text writes them, where it writes them alone.
struct PartRow {
  const char* name;
  const char* syntax;
};

constexpr PartRow kPartRows[Finding::kParts] = {{"transaction type", nullptr},
                                                {"employee number", "NUMBER"},
                                                {"name", "\"NAME\""},
                                                {"category", "CATEGORY"},
                                                {"amount", "AMOUNT"},
                                                {"year", nullptr},
                                                {"month", nullptr},
                                                {"day", nullptr},
                                                {"date", "YEAR/MONTH/DAY"},
                                                {"text", nullptr},
                                                {"text", nullptr}};

bool isDatePart(Part p) {
  return p == Part::kYear || p == Part::kMonth || p == Part::kDay;
}

// How far the text of a finding goes: a name up to its closing quote or
// the line end (all of it, quotes and all, when a quote inside ended it), a
// number as far as it was read, a part of a date up to its "/", anything
// else up to white space.
std::string_view extent(const Finding& f) {
  const std::string_view text(f.text, f.size);
  if (f.reason == Reason::kQuoteInName) {
    const std::size_t end = text.find('\n');
    const std::size_t last = text.substr(0, end).rfind('"');
    return text.substr(0, last == std::string_view::npos ? end : last + 1);
  }
  if (f.part == Part::kRest) {
    return text.substr(0, text.find_first_of("\r\n"));
  }
  if (f.reason == Reason::kSpaceInNumber) {
    // The two runs of digits and the blanks between them.
    const std::size_t blank = text.find_first_of(" \t");
    const std::size_t next = text.find_first_not_of(" \t", blank);
    return text.substr(0, text.find_first_of(modifstream::kWhiteSpace, next));
  }
  if (f.part == Part::kName && !text.empty() && text[0] == '"') {
    return text.substr(0, text.find_first_of("\"\n", 1));
  }
  if (f.reason == Reason::kOctal || f.reason == Reason::kHexadecimal ||
      f.reason == Reason::kAmountCut || f.reason == Reason::kZeroAmount) {
    return text.substr(0, f.length);
  }
  std::size_t end = 0;
  while (end < text.size() && !modifstream::isWhiteSpace(text[end]) &&
         !(isDatePart(f.part) && text[end] == '/')) {
    ++end;
  }
  return text.substr(0, end);
}

std::string quote(const Finding& f) {
  return "'" + Display::text(extent(f), 32, Display::Lookalikes::kEscape) + "'";
}

std::string lead(const Finding& f) {
  return std::string(Finding::fieldName(f.part)) + " " + quote(f);
}

// "U+200B".
std::string codePoint(long code) {
  char text[24];
  std::snprintf(text, sizeof text, "U+%04lX", code);
  return text;
}

// The number the writer meant by digits that a leading 0 made octal: the
// same digits without that 0, with the sign.
std::string meant(const Finding& f) {
  const std::string_view text(f.text, f.size);
  const std::string_view digits =
      text.substr(0, text.find_first_not_of("+-0123456789"));
  const std::size_t first = digits.find_first_not_of("+-0");
  return (text[0] == '-' ? "-" : "") +
         std::string(first == std::string_view::npos ? "0"
                                                     : digits.substr(first));
}

// For a value out of range: that the number rule read it as octal or
// hexadecimal, and the value it took, when that is not what its digits say
// in decimal ("02000" is 1024).
std::string readAs(const Finding& f) {
  if (!f.readInOtherBase()) return "";
  return std::string(": it is read as ") +
         (f.base == 8 ? "octal, for its leading 0: " : "hexadecimal: ") +
         std::to_string(f.value);
}

// Letters from outside ASCII that pass for a type or category letter, and
// the one each passes for; the fullwidth forms are told by their block.
constexpr struct {
  char32_t code;
  char like;
} kLookalikeLetters[] = {{0x0391, 'A'}, {0x0410, 'A'}, {0x03F9, 'C'},
                         {0x0421, 'C'}, {0x216D, 'C'}, {0x13A0, 'D'},
                         {0x216E, 'D'}, {0x0397, 'H'}, {0x041D, 'H'},
                         {0x0405, 'S'}, {0x2217, '*'}};

// The ASCII character `code` passes for, or '\0'.
char lookalikeLetter(long code) {
  if (code >= 0xFF01 && code <= 0xFF5E) return static_cast<char>(code - 0xFEE0);
  for (const auto& [letter, like] : kLookalikeLetters) {
    if (code == static_cast<long>(letter)) return like;
  }
  return '\0';
}

// Whether `c` is one of the letters the field takes, as the reader noted
// them ("S, H or *"): a letter stands alone between the marks of the list.
bool takes(const Finding& f, char c) {
  const std::string_view list(f.letters);
  for (std::size_t k = list.find(c); c != '\0' && k != list.npos;
       k = list.find(c, k + 1)) {
    if ((k == 0 || list[k - 1] == ' ') &&
        (k + 1 == list.size() || list[k + 1] == ',' || list[k + 1] == ' ')) {
      return true;
    }
  }
  return false;
}

// The reasons: each its severity, its words, and, for a warning, the phrase
// that lists it in the help and the manual (what the run does without a
// word). A row a reason, in the order of the enum.
struct ReasonRow {
  Reason reason;
  Finding::Severity severity;
  // The words, where %n stands for the field's name, %q for what was read
  // there, quoted, %l for both, %L for the letters the field takes, %v
  // for the value noted; or, for words that need more, made by `words`.
  const char* text;
  std::string (*words)(const Finding&) = nullptr;
  const char* listed = nullptr;
};

constexpr auto kError = Finding::Severity::kError;
constexpr auto kWarning = Finding::Severity::kWarning;

// The words of a reason that read or reinterpret a number.
std::string readInBase(const Finding& f) {
  return lead(f) + " is read as " +
         (f.reason == Reason::kOctal ? "octal, for its leading 0: "
                                     : "hexadecimal: ") +
         (f.part == Part::kNumber ? "employee " : "") + std::to_string(f.value);
}

constexpr ReasonRow kReasons[] = {
    {Reason::kNone, kError, ""},
    {Reason::kMissing, kError, "%n missing at the end of the file"},
    {Reason::kNotLetter, kError, "%l is not %L"},
    {Reason::kForeignLetter, kError, nullptr,
     [](const Finding& f) {
       // Named by its code point, since it shows as the letter it is not.
       const std::string_view text = extent(f);
       const long code = Display::codePoint(text);
       const bool alone = Display::characterLength(text) == text.size();
       std::string words = lead(f) + " (" + codePoint(code) +
                           (alone ? "" : " first") + ") is not " + f.letters;
       if (const char like = lookalikeLetter(code); takes(f, like)) {
         words += std::string(": it only looks like ") + like;
       }
       return words;
     }},
    {Reason::kWord, kError, nullptr,
     [](const Finding& f) {
       // The rest of the word failed as the field after the letter.
       Finding rest = f;
       rest.part = f.next;
       rest.size = f.size - 1;
       std::memmove(rest.text, rest.text + 1, rest.size);
       return lead(f) + " is not " + f.letters + ": one letter, then " +
              (f.part == Part::kType ? "the fields" : "the amount") + " (" +
              std::string(1, f.text[0]) + " was taken, then " + quote(rest) +
              " failed as the " + Finding::fieldName(f.next) + ")";
     }},
    {Reason::kNotNumber, kError, "%l is not a number"},
    {Reason::kNotEnded, kError, "%l is not a number: white space must end it"},
    {Reason::kDecimal, kError,
     "%l is not a whole number (no decimal point or comma)"},
    {Reason::kOctalDigit, kError, nullptr,
     [](const Finding& f) {
       return lead(f) +
              " is not a number: a leading 0 makes it octal, in which 8 and 9 "
              "are not digits (write " +
              meant(f) + ")";
     }},
    {Reason::kTooLong, kError, "%l is longer than 15 characters"},
    {Reason::kOutOfRange, kError,
     "%l is out of range (-2147483648 to 2147483647)"},
    {Reason::kNotQuoted, kError, "%l is not in double quotes"},
    {Reason::kCutByLineEnd, kError,
     "%l is cut by a line end (a name is on one line)"},
    {Reason::kNameTooLong, kError, nullptr,
     [](const Finding& f) {
       // Its bytes up to its closing quote, when the text noted reaches
       // it or ends; else as many as were noted. (A line end before the
       // quote makes the name cut by it, not too long.)
       const std::string_view text(f.text, f.size);
       const std::size_t end = text.find('"', 1);
       const bool whole = end != text.npos || f.size < Finding::kTextBytes;
       return lead(f) + " is " + (whole ? "" : "at least ") +
              std::to_string(std::min(end, text.size()) - 1) +
              " bytes, more than the 31 a name holds";
     }},
    {Reason::kNotClosed, kError, "%l is not closed: the file ends inside"},
    {Reason::kQuoteInName, kError,
     "%l ends at its second double quote: a name cannot hold a double quote"},
    {Reason::kAmountMissing, kError,
     "amount missing: %q is a date, which comes after the amount"},
    {Reason::kNotDate, kError, "%l is not YEAR/MONTH/DAY with '/' between"},
    {Reason::kDateOutOfRange, kError, nullptr,
     [](const Finding& f) {
       if (f.part == Part::kYear) {
         return lead(f) + " is out of range (1901 to 2099)" + readAs(f);
       }
       if (f.part == Part::kMonth) {
         return lead(f) + " is out of range (1 to 12)" + readAs(f);
       }
       return lead(f) + " is out of range: " + std::to_string(f.year) + "/" +
              std::to_string(f.month) + " has " + std::to_string(f.days) +
              " days" + readAs(f);
     }},
    {Reason::kByteOrderMark, kError,
     "the text starts with a UTF-8 byte order mark (bytes EF BB BF): save it "
     "without one"},
    {Reason::kUtf16, kError, nullptr,
     [](const Finding& f) {
       char bytes[16];
       std::snprintf(bytes, sizeof bytes, "%02X %02X",
                     static_cast<unsigned char>(f.text[0]),
                     static_cast<unsigned char>(f.text[1]));
       return std::string(
                  "the file is in UTF-16 (its text starts with the bytes ") +
              bytes + "): save it as UTF-8";
     }},
    {Reason::kQuotedLetter, kError, nullptr,
     [](const Finding& f) {
       return lead(f) + " is in double quotes: write the letter alone, as " +
              std::string(1, f.text[1]);
     }},
    {Reason::kSpaceInNumber, kError, nullptr,
     [](const Finding& f) {
       std::string digits;
       for (const char c : extent(f)) {
         if (c != ' ' && c != '\t') digits += c;
       }
       return lead(f) + " holds a space: write it without one, as " + digits;
     }},
    {Reason::kNotUtf8, kWarning, nullptr,
     [](const Finding& f) {
       return lead(f) + " is not valid UTF-8 (bytes " +
              Finding::notUtf8(extent(f)) + "): it is stored as it is";
     },
     "store a name that is not valid UTF-8, byte for byte"},
    {Reason::kOctal, kWarning, nullptr, readInBase,
     "read a number with a leading 0 as octal (010 is 8)"},
    {Reason::kHexadecimal, kWarning, nullptr, readInBase,
     "read a number that starts with 0x as hexadecimal"},
    {Reason::kAmountCut, kWarning,
     "%l ends at 15 characters: what follows it is read as the next field",
     nullptr,
     "end an amount at 15 characters, the rest read as the next field"},
    {Reason::kNulInName, kWarning,
     "the name holds a NUL byte: it ends there, and the rest is lost", nullptr,
     "ignore what follows a NUL byte in a name"},
    {Reason::kTextAfterLastField, kWarning, nullptr,
     [](const Finding& f) {
       std::string words =
           "text " + quote(f) + " after the last field is ignored";
       if (f.next == Part::kType) return words;
       // Right after a number's digits: the number stopped there.
       words += std::string(": ") + Finding::fieldName(f.next) + " " +
                std::to_string(f.value) + " was read, up to it";
       const char* digit = f.text[0] == 'O' || f.text[0] == 'o'   ? "0"
                           : f.text[0] == 'l' || f.text[0] == 'I' ? "1"
                                                                  : nullptr;
       if (digit != nullptr) {
         words += std::string(" (") + f.text[0] +
                  " is a letter, not the digit " + digit + ")";
       }
       return words;
     },
     "ignore text after a transaction's last field (but a comment, after a "
     "#)"},
    {Reason::kLoneCarriageReturn, kWarning,
     "a carriage return without a line feed ends no line: the rest of the line "
     "after it is ignored, transactions included",
     nullptr,
     "ignore the rest of a line after a carriage return that ends no line"},
    {Reason::kTextAfterEnd, kWarning,
     "text after a Ctrl-Z (byte 0x1A), which ends the transactions, is ignored",
     nullptr, "ignore text after a Ctrl-Z (byte 0x1A)"},
    {Reason::kChangesNothing, kWarning,
     "the change keeps every field, so it changes nothing: \"\" keeps the "
     "name, * the category, 0 the amount and a date in 1901 the date (none of "
     "them can be set to such a value)",
     nullptr, "apply a change that keeps every field, and so changes nothing"},
    {Reason::kBlankName, kWarning,
     "%l is only blanks: it is stored as it is (\"\" is the name a change "
     "keeps)",
     nullptr, "store a name of only blanks"},
    {Reason::kInvisibleInName, kWarning, nullptr,
     [](const Finding& f) {
       return lead(f) + " holds " + codePoint(f.value) +
              ", a character that does not show: it is stored as it is";
     },
     "store a name holding a character that does not show (U+200B, say)"},
    {Reason::kWouldCreate, kWarning,
     "does not exist: the run would create it empty", nullptr,
     "create a missing employee.dat or emptrans.dat, empty"},
    {Reason::kEmptyName, kWarning,
     "the name is empty: the add stores an employee with no name (\"\" is "
     "the name a change keeps)",
     nullptr, "add an employee with an empty name"},
    {Reason::kZeroAmount, kWarning,
     "%l is 0: the add stores an employee with an amount of 0", nullptr,
     "add an employee with an amount of 0"},
    {Reason::kDuplicateAdd, kWarning, nullptr,
     [](const Finding& f) {
       return "the add equals " +
              (f.earlierLine != 0
                   ? "the add of line " + std::to_string(f.earlierLine)
                   : "employee " + std::to_string(f.value) + ", a live one,") +
              " in every field: the run adds one more employee";
     },
     "add an employee equal in every field to a live one or to an earlier "
     "add"},
    {Reason::kChangeOfDeleted, kWarning,
     "%l names a deleted employee: the change applies, and the employee stays "
     "deleted (a change cannot bring one back)",
     nullptr, "change a deleted employee, who stays deleted"},
    {Reason::kLooksApplied, kWarning, nullptr,
     [](const Finding& f) {
       std::string words =
           f.lastLine == f.line
               ? "the transaction of line " + std::to_string(f.line) + " looks"
               : "the transactions of lines " + std::to_string(f.line) +
                     " to " + std::to_string(f.lastLine) + " look";
       words +=
           " applied already (each add equals a live employee, each change "
           "changes nothing, each delete finds its employee deleted)";
       return words + (f.resumeLine != 0
                           ? ": to apply the rest, run with --from " +
                                 std::to_string(f.resumeLine)
                           : ": that is the whole batch, which the run would "
                             "apply again");
     },
     "apply again the first transactions of a batch that look applied "
     "already"},
    {Reason::kUnknownEmployee, kError, nullptr,
     [](const Finding& f) {
       return "employee " + std::to_string(f.value) + " is not in employee.dat";
     }},
};

const ReasonRow& rowOf(Reason r) { return kReasons[static_cast<int>(r)]; }

struct HintRow {
  Hint hint;
  const char* words;
};

// What else the operator should know, said after the reason's words, with
// the marks of a reason's.
constexpr HintRow kHints[] = {
    {Hint::kNone, ""},
    {Hint::kUpperCase, " (upper case)"},
    {Hint::kCommas, ": fields are separated by white space, not commas"},
    {Hint::kAccounting, ": write a negative amount with a minus sign, as -500"},
    {Hint::kFourDigitYear, ": the year has four digits"},
    {Hint::kYearFirst, ": the year comes first, YEAR/MONTH/DAY"},
    {Hint::kMonthOrder, ": the order is YEAR/MONTH/DAY"},
    {Hint::kAddTakesNoNumber,
     ": an add takes no employee number, since it gets the next one"},
    {Hint::kKeepsFields,
     ": a change takes every field, with \"\", *, 0 and a date in 1901 for "
     "those it keeps"},
    {Hint::kCategoryFirst, ": the category comes before the amount"},
    {Hint::kSemicolons,
     ": fields are separated by white space, not semicolons"},
    {Hint::kApostrophe,
     ": a leading apostrophe (a spreadsheet's mark of text) is no part of "
     "it"},
    {Hint::kWindowsQuotes,
     ": the file was saved in Windows-1252, whose curly quotes are bytes 91 "
     "to 94: save it as UTF-8, with the name in straight double quotes"},
    {Hint::kMinusFirst, ": a minus sign goes before the digits, as -%v"},
    {Hint::kMultibyte, ": a character outside ASCII takes 2 to 4 bytes"},
};

// Whether a table holds a row a value of its enum, in the enum's order.
template <typename Row, std::size_t N, typename Enum>
constexpr bool inEnumOrder(const Row (&rows)[N], Enum Row::*key, Enum count) {
  for (std::size_t k = 0; k < N; ++k) {
    if (static_cast<std::size_t>(rows[k].*key) != k) return false;
  }
  return N == static_cast<std::size_t>(count);
}
static_assert(inEnumOrder(kReasons, &ReasonRow::reason, Reason::kReasons),
              "a row a reason, in the order of the enum");
static_assert(inEnumOrder(kHints, &HintRow::hint, Hint::kHints),
              "a row a hint, in the order of the enum");

// Where to look for a character that only looks like one the field
// needs. Inside a name whose opening quote was read every character is
// the name's own (a dash, a space of any kind): only one that passes for
// the closing double quote can be the mistake.
std::string_view lookalikeSearched(const Finding& f) {
  const std::string_view text = extent(f);
  if (f.part != Part::kName || text.empty() || text[0] != '"') return text;
  std::size_t at = std::string_view::npos;
  for (const char* quote : {"\xE2\x80\x9C", "\xE2\x80\x9D", "\xEF\xBC\x82"}) {
    at = std::min(at, text.find(quote));
  }
  return at == std::string_view::npos ? std::string_view() : text.substr(at);
}

// `text` with its marks filled in for `f` (see ReasonRow::text).
std::string filled(const char* text, const Finding& f) {
  std::string words;
  for (const char* p = text; *p; ++p) {
    if (*p != '%') {
      words += *p;
      continue;
    }
    const char mark = *++p;
    words += mark == 'l'   ? lead(f)
             : mark == 'q' ? quote(f)
             : mark == 'n' ? std::string(Finding::fieldName(f.part))
             : mark == 'v' ? std::to_string(f.value)
                           : std::string(f.letters);  // 'L'
  }
  return words;
}

}  // namespace

const char* Finding::fieldName(Part p) {
  return kPartRows[static_cast<int>(p)].name;
}

const char* Finding::syntax(Part p) {
  const char* syntax = kPartRows[static_cast<int>(p)].syntax;
  return syntax != nullptr ? syntax : fieldName(p);
}

Finding::Severity Finding::severity() const { return rowOf(reason).severity; }

std::string Finding::what() const {
  const ReasonRow& row = rowOf(reason);
  std::string words =
      row.words != nullptr ? row.words(*this) : filled(row.text, *this);
  words += filled(kHints[static_cast<int>(hint)].words, *this);
  if (severity() == Severity::kError) {
    // A character that looks like the one the syntax wants, but is not.
    if (const char* like = Display::lookalike(lookalikeSearched(*this))) {
      words += std::string(" (") + like +
               " only looks like the character the field needs)";
    } else if (const long code = Display::hidden(extent(*this));
               code >= 0xA0 && reason != Reason::kByteOrderMark) {
      // A control character is plain in the quote; one past them may show
      // nothing at all.
      words += " (" + codePoint(code) +
               ", a character that does not show, stands there)";
    }
  }
  return words;
}

std::string Finding::notUtf8(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (const std::size_t n = Display::characterLength(text.substr(i))) {
      i += n;
      continue;
    }
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X",
                  static_cast<unsigned char>(text[i++]));
    out += (out.empty() ? "" : ", ") + std::string(hex);
  }
  return out;
}

std::string Finding::warningList(const char* indent) {
  std::string out;
  for (const ReasonRow& row : kReasons) {
    if (row.severity == kWarning)
      out += indent + std::string(row.listed) + "\n";
  }
  return out;
}
