#include "modifstream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>

#include "SystemCalls.h"

namespace {

constexpr std::size_t kMaxNumberChars = 15;
// How far a recovery looks for the quote that ends a name.
constexpr std::size_t kQuoteSearched = 4096;

// The value of each character as a digit, 99 for one that is none.
constexpr auto kDigits = [] {
  std::array<unsigned char, 256> d{};
  d.fill(99);
  for (int c = 0; c < 10; ++c) d['0' + c] = static_cast<unsigned char>(c);
  for (int c = 0; c < 6; ++c) {
    d['a' + c] = d['A' + c] = static_cast<unsigned char>(10 + c);
  }
  return d;
}();

// The value of c (a character, or eof: -1) as a digit of `base`, or -1.
int digitValue(int c, int base) {
  const int v = c < 0 ? 99 : kDigits[static_cast<unsigned char>(c)];
  return v < base ? v : -1;
}

}  // namespace

// A FIFO or device is refused like a directory, by the type its name leads
// to, without being opened: the open of a FIFO would release a writer
// waiting at its other end. The name is then opened once, and the checks
// apply to the descriptor that is read: a name changed after the first
// check can't slip in another file, and the open does not wait on a FIFO.
// The ifstream's own file buffer is never opened.
modifstream::modifstream(const char* name, bool create) {
  std::ios::rdbuf(&text_);
  auto refusal = [](mode_t type) {
    return type == S_IFREG ? 0 : type == S_IFDIR ? EISDIR : kNotRegularFile;
  };
  SystemCalls::Facts facts{};
  if (SystemCalls::look(name, &facts) == 0) openError_ = refusal(facts.type);
  const int fd = openError_ != 0
                     ? -1
                     : systemCalls.open(name,
                                        O_RDONLY | (create ? O_CREAT : 0) |
                                            O_NONBLOCK | O_CLOEXEC,
                                        0666);
  if (fd >= 0) {
    openError_ =
        systemCalls.stat(fd, &facts) != 0 ? errno : refusal(facts.type);
  } else if (openError_ == 0) {
    openError_ = errno;
  }
  if (openError_ != 0) {
    if (fd >= 0) systemCalls.close(fd);
    setstate(failbit);
    return;
  }
  text_.open(fd);
}

void modifstream::checkRead() const {
  if (bad()) throw ReadFailed();
}

void modifstream::rewind() {
  // Through the text filter, which drops what it had read ahead; the
  // ifstream's own rdbuf() would move only the file under it.
  if (fail()) return;
  text_.pubseekpos(0, std::ios_base::in);
  began_ = false;
  lineBlank_ = true;
}

// The state rules are those of the standard extractors: a stream that has
// failed or met the end fails every read, and a read error of the file
// (thrown out of the buffer) becomes the bad state.
bool modifstream::skipWhiteSpace() {
  if (!good()) {
    setstate(failbit);
    return false;
  }
  try {
    for (;;) {
      const int_type c = text_.sgetc();
      if (c == traits_type::eof()) {
        setstate(eofbit | failbit);
        return false;
      }
      if (!Finding::isWhiteSpace(c)) return true;
      if (c == '\n') lineBlank_ = true;
      lineStart_ = traits_type::eof();
      text_.sbumpc();
    }
  } catch (const std::ios_base::failure&) {
    setstate(badbit);
    return false;
  }
}

bool modifstream::skipTo(Finding* note) {
  const bool more = skipWhiteSpace();
  if (note == nullptr) return more;
  // The fields a reader sets as it goes; the rest are set where used.
  note->reason = Finding::Reason::kNone;
  note->hint = Finding::Hint::kNone;
  note->read = false;
  note->base = 10;
  note->length = 0;
  noteHere(*note);
  return more && !bad();
}

void modifstream::noteHere(Finding& note) {
  try {
    text_.place(note.line, note.column);
    const char* text = nullptr;
    note.size =
        std::min(text_.ahead(Finding::kTextBytes, &text), Finding::kTextBytes);
    // Of a fixed size where the text goes on, as it mostly does: copied
    // in a few moves instead of a call.
    if (note.size == Finding::kTextBytes) {
      std::memcpy(note.text, text, Finding::kTextBytes);
    } else {
      std::memcpy(note.text, text, note.size);
    }
  } catch (const std::ios_base::failure&) {
    setstate(badbit);
  }
}

modifstream::int_type modifstream::take() {
  const int_type c = text_.sbumpc();
  began_ = true;
  lineStart_ = lineBlank_ ? c : traits_type::eof();
  lineBlank_ = c == '\n';
  return c;
}

bool modifstream::getChar(char& c, Finding* note) {
  if (!skipTo(note)) return false;
  c = traits_type::to_char_type(take());
  return true;
}

modifstream::int_type modifstream::peekRaw() {
  if (!good()) return traits_type::eof();
  try {
    return text_.peek(0);
  } catch (const std::ios_base::failure&) {
    setstate(badbit);
    return traits_type::eof();
  }
}

modifstream::int_type modifstream::getRaw() {
  if (!good()) {
    setstate(failbit);
    return traits_type::eof();
  }
  try {
    const int_type c = take();
    if (c == traits_type::eof()) setstate(eofbit | failbit);
    return c;
  } catch (const std::ios_base::failure&) {
    setstate(badbit);
    return traits_type::eof();
  }
}

namespace {

// "(500)": an amount in accounting form.
bool accounting(std::string_view text) {
  const std::size_t close = text.find(')');
  return text.size() > 2 && text[0] == '(' && close != std::string_view::npos &&
         close > 1 &&
         text.substr(1, close - 1).find_first_not_of("0123456789,.") ==
             std::string_view::npos;
}

}  // namespace

bool modifstream::getNumber(std::int32_t& n, Overflow overflow, Finding* note) {
  cutShort_ = false;
  if (!skipTo(note)) {
    if (note != nullptr && eof()) note->reason = Finding::Reason::kMissing;
    return false;
  }
  try {
    // The number and the character after it lie within the first 16.
    const char* text = nullptr;
    const std::size_t have = text_.ahead(kMaxNumberChars + 1, &text);
    auto at = [&](std::size_t k) {
      return k < have ? static_cast<int>(static_cast<unsigned char>(text[k]))
                      : -1;
    };
    std::size_t k = 0;
    int c = at(k);
    const bool negative = c == '-';
    if (c == '+' || c == '-') c = at(++k);
    int base = 10;
    if (c == '0') {
      const int x = at(k + 1);
      base = x == 'x' || x == 'X' ? 16 : 8;
      if (base == 16) k += 2;  // an octal number's 0 is its first digit
    }
    std::int64_t value = 0;
    std::size_t digits = 0;
    for (; k < kMaxNumberChars; ++k, ++digits) {
      const int d = digitValue(at(k), base);
      if (d < 0) break;
      value = value * base + d;
    }
    const int next = at(k);  // eof() is -1 too
    if (digits == 0) {
      // Nothing consumed: the sign or prefix stays for the next read.
      n = 0;
      setstate(next == traits_type::eof() ? failbit | eofbit : failbit);
      if (note != nullptr) {
        const std::string_view seen(note->text, note->size);
        note->reason = Finding::Reason::kNotNumber;
        note->hint = accounting(seen) ? Finding::Hint::kAccounting
                                      : Finding::leadingHint(seen[0]);
      }
      return false;
    }
    text_.skip(k);
    lineStart_ = traits_type::eof();
    lineBlank_ = false;
    if (next == traits_type::eof()) setstate(eofbit);
    cutShort_ =
        digitValue(next, 10) >= 0 || (base == 16 && digitValue(next, 16) >= 0);
    if (negative) value = -value;
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    const bool inRange = value >= kMin && value <= kMax;
    n = static_cast<std::int32_t>(value < kMin ? kMin : std::min(value, kMax));
    if (note != nullptr) {
      note->read = inRange || overflow == Overflow::kClamp;
      note->base = base;
      note->length = k;
      note->value = n;
      if (!note->read) {
        note->reason = Finding::Reason::kOutOfRange;
      } else if (cutShort_) {
        note->reason = k >= kMaxNumberChars ? Finding::Reason::kTooLong
                                            : Finding::Reason::kOctalDigit;
      }
    }
    if (!inRange && overflow == Overflow::kFail) {
      setstate(failbit);
      return false;
    }
    return true;
  } catch (const std::ios_base::failure&) {
    // The source could not be read: the same bad state the standard
    // extractors leave.
    setstate(badbit);
    return false;
  }
}

char* modifstream::getQuoted(char* buffer, int maxLen, char quote,
                             Reading* reading) {
  using Reason = Finding::Reason;
  Finding* note = reading ? &reading->note(Finding::Part::kName) : nullptr;
  auto fail = [&](Reason why) {
    if (reading != nullptr) reading->fail(Finding::Part::kName, why);
  };
  char open = '\0';
  const bool any = getChar(open, note);
  if (!any || open != quote) {
    checkRead();
    // A stream failed before is the fault of the field that failed it,
    // which is blamed already.
    fail(any ? Reason::kNotQuoted : Reason::kMissing);
    if (any && note != nullptr) note->hint = Finding::leadingHint(open);
    throw InvalidQuotedString();
  }
  quotedLostText_ = false;
  bool nul = false;
  for (int i = 0; i < maxLen; ++i) {
    const int_type c = getRaw();
    if (c == traits_type::eof()) break;
    const char ch = traits_type::to_char_type(c);
    if (ch == quote) {
      buffer[i] = '\0';
      if (note != nullptr) note->length = static_cast<std::size_t>(i) + 2;
      return buffer;
    }
    if (ch == '\n') {
      fail(Reason::kCutByLineEnd);
      throw InvalidQuotedString();
    }
    quotedLostText_ = quotedLostText_ || (nul && ch != '\0');
    nul = nul || ch == '\0';
    buffer[i] = ch;
  }
  checkRead();
  // Ended by the text, or by the limit: then a closing quote may follow.
  fail(eof() ? Reason::kNotClosed : Reason::kNameTooLong);
  throw MaxLenExceeded();
}

Date modifstream::getDate(Reading* reading) {
  using Part = Finding::Part;
  using Reason = Finding::Reason;
  auto note = [&](Part p) {
    return reading != nullptr ? &reading->note(p) : nullptr;
  };
  // A part cut short by the number rule leaves its rest to fail what
  // follows: it is to blame. One that can't be read counts as 0, and is
  // to blame when the date fails for it.
  auto suspect = [&](Part p) {
    if (reading == nullptr) return;
    const Reason why = reading->note(p).reason;
    if (why == Reason::kOctalDigit || why == Reason::kTooLong) {
      reading->suspect(p);
    }
  };
  auto outOfRange = [&](Part p, Finding::Hint hint) {
    const Reason why = reading->note(p).reason;
    reading->fail(p, why == Reason::kNone ? Reason::kDateOutOfRange : why,
                  hint);
  };
  // The date as a whole starts where its year does.
  auto fail = [&](Reason why) {
    if (reading == nullptr) return;
    reading->note(Part::kDate) = reading->note(Part::kYear);
    reading->note(Part::kDate).part = Part::kDate;
    reading->fail(Part::kDate, why);
  };
  std::int32_t year = 0, month = 0, day = 0;
  char separator = '\0';
  const bool gotYear = getNumber(year, Overflow::kClamp, note(Part::kYear));
  if (gotYear) suspect(Part::kYear);
  if (!getChar(separator) || separator != '/') {
    checkRead();
    fail(reading != nullptr &&
                 reading->note(Part::kYear).reason == Reason::kMissing
             ? Reason::kMissing
             : Reason::kNotDate);
    throw InvalidDate();
  }
  getNumber(month, Overflow::kClamp, note(Part::kMonth));
  suspect(Part::kMonth);
  // When no character can be read, the first "/" still stands in
  // `separator` and the day read fails in turn.
  if (getChar(separator) && separator != '/') {
    fail(Reason::kNotDate);
    throw InvalidDate();
  }
  getNumber(day, Overflow::kClamp, note(Part::kDay));
  suspect(Part::kDay);
  checkRead();
  try {
    return Date(year, month, day);
  } catch (const Date::YearOutOfRange&) {
    if (reading != nullptr) {
      const Finding& y = reading->note(Part::kYear);
      // "15" or "04": a year of two digits, "04" read as octal.
      const bool shortYear = y.length == 2 && year >= 0;
      reading->fail(Part::kYear, Reason::kDateOutOfRange,
                    day >= 1901 && day <= 2099 ? Finding::Hint::kYearFirst
                    : shortYear                ? Finding::Hint::kFourDigitYear
                                               : Finding::Hint::kNone);
    }
    throw;
  } catch (const Date::MonthOutOfRange&) {
    if (reading != nullptr) {
      outOfRange(Part::kMonth, month >= 13 && month <= 31 &&
                                       reading->note(Part::kMonth).base == 10
                                   ? Finding::Hint::kMonthOrder
                                   : Finding::Hint::kNone);
    }
    throw;
  } catch (const Date::DayOutOfRange&) {
    if (reading != nullptr) {
      Finding& f = reading->note(Part::kDay);
      f.year = year;
      f.month = month;
      for (f.days = 31; f.days > 28; --f.days) {
        try {
          Date(year, month, f.days);
          break;
        } catch (const Date::DayOutOfRange&) {
        }
      }
      outOfRange(Part::kDay, Finding::Hint::kNone);
    }
    throw;
  }
}

void modifstream::recover(long line, const char* letters,
                          const char* categories, Rest rest, int fields,
                          bool dateLast) {
  if (bad()) return;
  clear();
  auto isLetter = [](int_type c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  };
  // A type letter with no letter after it: "Diaz" is a word, not a "D".
  auto isType = [&](int_type c, int_type next) {
    return c != traits_type::eof() && c != 0 &&
           std::strchr(letters, traits_type::to_char_type(c)) != nullptr &&
           !isLetter(next);
  };
  auto isBlank = [](int_type c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
  };
  try {
    // Where the read that failed took the letter that begins a later line.
    if (this->line() > line && isType(lineStart_, text_.peek(0))) {
      text_.sungetc();
      lineBlank_ = true;
      lineStart_ = traits_type::eof();
      return;
    }
    // Whether the reader stands at the start of the next transaction,
    // blanks skipped: on a later line, nothing else on it read yet.
    auto atNext = [&] {
      while (isBlank(text_.sgetc())) {
        text_.sbumpc();  // blanks leave the line as blank as it was
        lineStart_ = traits_type::eof();
      }
      return this->line() > line && lineBlank_ &&
             isType(text_.sgetc(), text_.peek(1));
    };
    auto skipUntil = [&](auto stop) {
      for (int_type c = text_.sgetc();
           c != traits_type::eof() && c != '\n' && !stop(c);
           c = text_.sgetc()) {
        take();
      }
    };
    auto token = [&] {
      skipUntil(
          [](int_type c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
    };
    // Up to and past the next quote on this line; false when there is none.
    auto toQuote = [&] {
      const char* text = nullptr;
      const std::size_t n = text_.ahead(kQuoteSearched, &text);
      const std::string_view ahead(text, n);
      const std::size_t end = ahead.find_first_of("\"\n");
      if (end == ahead.npos || ahead[end] != '"') return false;
      for (std::size_t k = 0; k <= end; ++k) take();
      return true;
    };
    // The words of a name not quoted, up to a word that is a category.
    auto words = [&] {
      for (token(); !atNext();) {
        const int_type c = text_.sgetc();
        if (c == traits_type::eof() || c == '\n' ||
            (std::strchr(categories, traits_type::to_char_type(c)) &&
             (text_.peek(1) == ' ' ||
              (text_.peek(1) >= '\t' && text_.peek(1) <= '\r')))) {
          return;
        }
        token();
      }
    };
    if (!atNext()) {
      if (rest == Rest::kNameGoesOn) {
        toQuote();
      } else if (rest == Rest::kUpToQuote) {
        if (!toQuote()) words();
      } else {
        token();
      }
      for (int k = 0; k < fields; ++k) {
        // The next field, on this line or a later one.
        for (;;) {
          if (atNext()) return;
          const int_type c = text_.sgetc();
          if (c == traits_type::eof()) return;
          if (c != '\n') break;
          take();
        }
        if (text_.sgetc() == '"') {
          take();
          if (!toQuote()) token();
        } else {
          const char* text = nullptr;
          const std::size_t n = text_.ahead(kQuoteSearched, &text);
          const std::string_view ahead(text, n);
          const bool date =
              ahead.substr(0, ahead.find_first_of(" \t\n\v\f\r")).find('/') !=
              std::string_view::npos;
          token();
          if (date && dateLast) break;
        }
      }
    }
    if (atNext()) return;
    skipUntil([](int_type) { return false; });
    if (text_.sgetc() == '\n') take();
    lineBlank_ = true;
    lineStart_ = traits_type::eof();
  } catch (const std::ios_base::failure&) {
    setstate(badbit);
  }
}
