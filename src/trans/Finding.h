// Finding: what the transaction reader found at one field of a transaction,
// as a value. The reader notes where each field stood and what was read
// there; where it fails on a field, or skips or reinterprets text, it gives
// that note a reason. A finding with an error reason is why a transaction
// was not read; one with a warning reason is text the run reads otherwise
// than it looks, or ignores, without a word.
//
// Finding.cpp holds the one table of reasons: each with its severity (an
// error stops the transaction; a warning only tells of it) and its words,
// and the one table of hints. what() turns a finding into those words,
// reading nothing but the finding itself. A new warning is a row there and
// the place in the reader that finds it.
#ifndef EMPUPDATE_TRANS_FINDING_H_
#define EMPUPDATE_TRANS_FINDING_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct Finding {
  // The fields of a transaction, as a diagnostic names them; kDate is the
  // date as a whole, kRest what follows a transaction's last field on its
  // line, kEnd the text after a byte 0x1A.
  enum class Part {
    kType,
    kNumber,
    kName,
    kCategory,
    kAmount,
    kYear,
    kMonth,
    kDay,
    kDate,
    kRest,
    kEnd
  };
  static constexpr int kParts = static_cast<int>(Part::kEnd) + 1;

  // Why a field failed, or what the run reads there otherwise than it
  // looks. Whether a reason is an error or a warning is its row's, in the
  // table of Finding.cpp, not its place here.
  enum class Reason {
    kNone,
    kMissing,             // the text ended before the field
    kNotLetter,           // a type or category letter that is none of its set
    kForeignLetter,       // one from outside ASCII, that shows ("А", Cyrillic)
    kWord,                // a word where the letter belongs ("Hourly")
    kNotNumber,           // no digit, or a minus after the digits ("500-")
    kNotEnded,            // a number run into what follows it ("1x")
    kDecimal,             // "1.5", "500,50"
    kOctalDigit,          // "08": octal, in which 8 and 9 are not digits
    kTooLong,             // a number of more than 15 characters
    kOutOfRange,          // beyond the signed 32-bit range
    kNotQuoted,           // a name without its opening double quote
    kCutByLineEnd,        // a name broken by a line end
    kNameTooLong,         // more than 31 bytes
    kNotClosed,           // the text ends inside a name
    kQuoteInName,         // a double quote inside a name ends it
    kAmountMissing,       // a date where the amount belongs
    kNotDate,             // no YEAR/MONTH/DAY
    kDateOutOfRange,      // a year, month or day out of its range
    kByteOrderMark,       // the text starts with a UTF-8 byte order mark
    kUtf16,               // the text is in UTF-16
    kQuotedLetter,        // a category letter in double quotes ("H")
    kSpaceInNumber,       // "44 000": a number with a space inside
    kNotUtf8,             // a name that is not valid UTF-8
    kOctal,               // a leading 0 made the number octal
    kHexadecimal,         // "0x" made it hexadecimal
    kAmountCut,           // the 15-character limit ended the amount
    kNulInName,           // a NUL byte ends the name; the rest is lost
    kTextAfterLastField,  // ignored
    kLoneCarriageReturn,  // a CR that ends no line: the line goes on
    kTextAfterEnd,        // after a 0x1A, never read
    kChangesNothing,      // a change that keeps every field
    kBlankName,           // a name of only blanks
    kInvisibleInName,     // a character that shows nothing, in a name
    kWouldCreate,         // a missing file the run would create empty
    kEmptyName,           // an add of "": an employee with no name
    kZeroAmount,          // an add of amount 0
    kDuplicateAdd,        // an add equal to a live employee or an earlier add
    kChangeOfDeleted,     // a change of a deleted employee, who stays so
    kLooksApplied,        // the batch's first transactions, applied before
    kUnknownEmployee,     // a number that no employee holds (`value`)
    kReasons              // how many there are
  };

  enum class Severity { kError, kWarning };

  // What else the operator should know: a rule that surprises.
  enum class Hint {
    kNone,
    kUpperCase,         // a lower-case letter of the set
    kCommas,            // fields separated by commas
    kAccounting,        // "(500)" for -500
    kFourDigitYear,     // "15/4/1"
    kYearFirst,         // "17/5/1901": the year last
    kMonthOrder,        // a month of 13 to 31: DAY/MONTH/YEAR perhaps
    kAddTakesNoNumber,  // "A 7 ..."
    kKeepsFields,       // "C 2 45000": a change takes every field
    kCategoryFirst,     // "500 H": the amount before the category
    kSemicolons,        // fields separated by semicolons
    kApostrophe,        // "'2000/1/15": a spreadsheet's mark of text
    kWindowsQuotes,     // a name in the curly quotes of Windows-1252
    kMinusFirst,        // "500-" or "500 -": `value` is the number, 500
    kMultibyte,         // a name too long, of characters outside ASCII
    kHints              // how many there are
  };

  static constexpr std::size_t kTextBytes = 48;

  Part part = Part::kType;
  Reason reason = Reason::kNone;
  Hint hint = Hint::kNone;
  long line = 0;    // of the field's first character, from 1; 0: not reached
  long column = 0;  // of that character, from 1, in bytes (a tab is one)
  char text[kTextBytes] = {};  // the characters from there on
  std::size_t size = 0;        // how many of them text holds
  // A number: whether it was read, its base, the characters it took, and
  // the value stored.
  bool read = false;
  bool cutShort = false;  // by its base or its length (modifstream)
  int base = 10;
  std::size_t length = 0;
  std::int32_t value = 0;
  // kWord: the field that failed after the letter was taken;
  // kTextAfterLastField: the number the text stands right after, whose
  // value is `value`, or kType.
  Part next = Part::kType;
  // kNotLetter, kForeignLetter, kWord: the letters the field takes, as
  // "S, H or *", noted by the reader that knows them.
  char letters[32] = {};
  // kDateOutOfRange of a day: the days of the date's month, and its year
  // and month.
  std::int32_t days = 0, year = 0, month = 0;
  // kDuplicateAdd: the line of the earlier add it equals, or 0 when it
  // equals employee `value`. kLooksApplied: from `line`, the line of the
  // last transaction that looks applied, and of the first that does not
  // (0: none does).
  long earlierLine = 0, lastLine = 0, resumeLine = 0;

  // Notes the letters the field takes ("S, H or *"), cut to fit.
  void setLetters(std::string_view words);

  // A number read: whether its base, octal or hexadecimal, made its value
  // other than what its digits say in decimal ("010" is 8).
  // Inline: asked of every number read.
  bool readInOtherBase() const {
    // "0" and "07" mean the same in both bases.
    return base != 10 &&
           (base != 8 || std::stoll(std::string(text, length)) != value);
  }
  Severity severity() const;
  // The words, e.g. "amount '500,50' is not a whole number (no decimal
  // point or comma)": lower case, no final period.
  std::string what() const;
  // The hint for a field that starts with `c` and fails for it: a comma or
  // semicolon between fields, a spreadsheet's apostrophe.
  static Hint leadingHint(char c);
  // "employee number", "amount", ...
  static const char* fieldName(Part p);
  // How a transaction's text writes the field: NUMBER, "NAME", CATEGORY,
  // AMOUNT, YEAR/MONTH/DAY.
  static const char* syntax(Part p);
  // The warnings, each as a short phrase, for a tool's help and the manual:
  // "ignore text after a transaction's last field".
  static std::string warningList(const char* indent);
  // The bytes of `text` that are not part of valid UTF-8, as "E9, FC";
  // empty for valid UTF-8.
  static std::string notUtf8(std::string_view text);
};

#endif  // EMPUPDATE_TRANS_FINDING_H_
