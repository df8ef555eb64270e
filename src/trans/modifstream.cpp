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
      if (!isWhiteSpace(c)) return true;
      if (c == '\n') lineBlank_ = true;
      lineStart_ = traits_type::eof();
      text_.sbumpc();
    }
  } catch (const std::ios_base::failure&) {
    setstate(badbit);
    return false;
  }
}

// Inlined into its callers, as it was when it held less: the reader's
// hottest path.
[[gnu::always_inline]] inline bool modifstream::skipTo(Finding* note) {
  if (note == nullptr || fail()) return skipWhiteSpace();
  const bool more = skipWhiteSpace();
  // The facts a reader sets as it goes; the rest are set where used.
  note->read = note->cutShort = false;
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

void modifstream::takeBlank() {
  text_.sbumpc();
  lineStart_ = traits_type::eof();
}

void modifstream::putBackLineStart() {
  text_.sungetc();
  lineBlank_ = true;
  lineStart_ = traits_type::eof();
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

// A number as the number rule reads it from the start of `text` (`have`
// characters): the characters it takes, its base, digits and value, and
// the character after it (eof: -1).
struct Scanned {
  std::size_t length = 0, digits = 0;
  int base = 10, next = -1;
  std::int64_t value = 0;
};

Scanned scan(const char* text, std::size_t have) {
  auto at = [&](std::size_t k) {
    return k < have ? static_cast<int>(static_cast<unsigned char>(text[k]))
                    : -1;
  };
  Scanned s;
  std::size_t k = 0;
  int c = at(k);
  const bool negative = c == '-';
  if (c == '+' || c == '-') c = at(++k);
  if (c == '0') {
    const int x = at(k + 1);
    s.base = x == 'x' || x == 'X' ? 16 : 8;
    if (s.base == 16) k += 2;  // an octal number's 0 is its first digit
  }
  for (; k < modifstream::kMaxNumberChars; ++k, ++s.digits) {
    const int d = digitValue(at(k), s.base);
    if (d < 0) break;
    s.value = s.value * s.base + d;
  }
  if (negative) s.value = -s.value;
  s.length = k;
  s.next = at(k);
  return s;
}

}  // namespace

bool modifstream::getNumber(std::int32_t& n, Overflow overflow, Finding* note) {
  cutShort_ = false;
  if (!skipTo(note)) return false;
  try {
    // The number and the character after it lie within the first 16.
    const char* text = nullptr;
    const std::size_t have = text_.ahead(kMaxNumberChars + 1, &text);
    const Scanned s = scan(text, have);
    if (s.digits == 0) {
      // Nothing consumed: the sign or prefix stays for the next read.
      n = 0;
      setstate(s.next == traits_type::eof() ? failbit | eofbit : failbit);
      return false;
    }
    text_.skip(s.length);
    lineStart_ = traits_type::eof();
    lineBlank_ = false;
    if (s.next == traits_type::eof()) setstate(eofbit);
    cutShort_ = digitValue(s.next, 10) >= 0 ||
                (s.base == 16 && digitValue(s.next, 16) >= 0);
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    const bool inRange = s.value >= kMin && s.value <= kMax;
    n = static_cast<std::int32_t>(std::clamp(s.value, kMin, kMax));
    if (note != nullptr) {
      note->read = inRange || overflow == Overflow::kClamp;
      note->base = s.base;
      note->length = s.length;
      note->value = n;
      note->cutShort = cutShort_;
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
                             Finding* note) {
  char open = '\0';
  if (!getChar(open, note) || open != quote) {
    checkRead();
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
      return buffer;
    }
    if (ch == '\n') throw InvalidQuotedString();
    quotedLostText_ = quotedLostText_ || (nul && ch != '\0');
    nul = nul || ch == '\0';
    buffer[i] = ch;
  }
  checkRead();
  throw MaxLenExceeded();
}

Date modifstream::getDate(Finding* yearNote, Finding* monthNote,
                          Finding* dayNote) {
  std::int32_t year = 0, month = 0, day = 0;
  char separator = '\0';
  getNumber(year, Overflow::kClamp, yearNote);
  if (!getChar(separator) || separator != '/') {
    checkRead();
    throw InvalidDate();
  }
  getNumber(month, Overflow::kClamp, monthNote);
  // When no character can be read, the first "/" still stands in
  // `separator` and the day read fails in turn.
  if (getChar(separator) && separator != '/') throw InvalidDate();
  getNumber(day, Overflow::kClamp, dayNote);
  checkRead();
  return Date(year, month, day);
}
