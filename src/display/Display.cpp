#include "Display.h"

#include <locale.h>
#include <wchar.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "Category.h"

// wcwidth takes the code point itself as its wchar_t.
#ifndef __STDC_ISO_10646__
#error "wchar_t does not hold Unicode code points"
#endif

namespace {

// Code points shown escaped although valid: the control characters (C0,
// DEL and C1); those that change the direction or the lines of the text
// around them on a terminal (U+061C, U+200E, U+200F, U+2028 to U+202E,
// U+2066 to U+2069); and those that show nothing at all, so that two names
// could look alike and differ: the soft hyphen, the combining grapheme
// joiner, the Hangul fillers, the Khmer inherent vowels, the Mongolian
// variation selectors and vowel separator, the zero-width space,
// non-joiner and joiner, the word joiner and invisible operators (U+2060
// to U+2064, with the format characters U+206A to U+206F), the variation
// selectors, the byte-order mark, the interlinear annotation marks, the
// musical format characters, and the tag characters and variation
// selectors of plane 14 (U+E0000 to U+E0FFF).
constexpr struct {
  char32_t first, last;
} kEscaped[] = {{0x00, 0x1F},     {0x7F, 0x9F},       {0xAD, 0xAD},
                {0x34F, 0x34F},   {0x61C, 0x61C},     {0x115F, 0x1160},
                {0x17B4, 0x17B5}, {0x180B, 0x180F},   {0x200B, 0x200F},
                {0x2028, 0x202E}, {0x2060, 0x206F},   {0x3164, 0x3164},
                {0xFE00, 0xFE0F}, {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0},
                {0xFFF9, 0xFFFB}, {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF}};

// Characters that pass for an ASCII one the transactions are written
// with. U+2007 comes before the range of spaces it is in: the first entry
// that holds a code point names it.
constexpr struct {
  char32_t first, last;
  const char* what;
} kLookalikes[] = {{0xA0, 0xA0, "a non-breaking space"},
                   {0x2007, 0x2007, "a figure space"},
                   {0x2000, 0x200A, "a space"},
                   {0x2010, 0x2015, "a dash"},
                   {0x2018, 0x2019, "a typographic single quote"},
                   {0x201C, 0x201D, "a typographic double quote"},
                   {0x202F, 0x202F, "a narrow non-breaking space"},
                   {0x2212, 0x2212, "a minus sign"},
                   {0x3000, 0x3000, "an ideographic space"},
                   {0xFF02, 0xFF02, "a fullwidth double quote"},
                   {0xFF0F, 0xFF0F, "a fullwidth slash"},
                   {0xFF10, 0xFF19, "a fullwidth digit"}};

// A valid UTF-8 character: its code point and its length in bytes.
struct Character {
  char32_t code = 0;
  std::size_t length = 0;
};

// The character that starts `s` (not empty), or a length of 0 when its
// first byte starts none.
Character decode(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const unsigned c = p[0];
  if (c < 0x80) return {c, 1};
  // The lead byte gives the length and the range the second byte must be
  // in, which excludes overlong forms, surrogates and values past U+10FFFF.
  std::size_t length = 0;
  unsigned low = 0x80, high = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) length = 2;
  if (c >= 0xE0 && c <= 0xEF) length = 3;
  if (c >= 0xF0 && c <= 0xF4) length = 4;
  if (c == 0xE0) low = 0xA0;
  if (c == 0xED) high = 0x9F;
  if (c == 0xF0) low = 0x90;
  if (c == 0xF4) high = 0x8F;
  if (length == 0 || s.size() < length || p[1] < low || p[1] > high) return {};
  for (std::size_t i = 2; i < length; ++i) {
    if (p[i] < 0x80 || p[i] > 0xBF) return {};
  }
  char32_t code = c & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) code = code << 6 | (p[i] & 0x3F);
  return {code, length};
}

bool escaped(char32_t code) {
  for (const auto& [first, last] : kEscaped) {
    if (code >= first && code <= last) return true;
  }
  return false;
}

// The description of a lookalike, or nullptr. Each is made once, with its
// code point, and kept for the life of the program.
const char* lookalikeOf(char32_t code) {
  static const std::map<char32_t, std::string> described = [] {
    std::map<char32_t, std::string> all;
    for (const auto& [first, last, what] : kLookalikes) {
      for (char32_t c = first; c <= last; ++c) {
        char point[16];
        std::snprintf(point, sizeof point, " (U+%04X)",
                      static_cast<unsigned>(c));
        all.emplace(c, what + std::string(point));
      }
    }
    return all;
  }();
  const auto found = described.find(code);
  return found == described.end() ? nullptr : found->second.c_str();
}

// `bytes` escaped as Display's header says.
std::string escape(std::string_view bytes, Display::Lookalikes lookalikes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size();) {
    const Character c = decode(bytes.substr(i));
    if (c.length > 0 && c.code != '\\' && !escaped(c.code) &&
        (lookalikes == Display::Lookalikes::kShow ||
         lookalikeOf(c.code) == nullptr)) {
      out += bytes.substr(i, c.length);
      i += c.length;
    } else if (c.code == '\\') {
      out += "\\\\";
      ++i;
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X",
                    static_cast<unsigned char>(bytes[i++]));
      out += hex;
    }
  }
  return out;
}

}  // namespace

std::string Display::name(const char* field, std::size_t size) {
  const std::string_view bytes(field, size);
  return escape(bytes.substr(0, bytes.find('\0')), Lookalikes::kShow);
}

std::string Display::text(std::string_view bytes, std::size_t limit,
                          Lookalikes lookalikes) {
  if (bytes.size() <= limit) return escape(bytes, lookalikes);
  // Walked forwards, character by character, so that what follows the
  // limit (stray continuation bytes) can't move the cut into a character.
  std::size_t end = 0;
  for (;;) {
    const std::size_t length =
        std::max<std::size_t>(decode(bytes.substr(end)).length, 1);
    if (end + length > limit) break;
    end += length;
  }
  return escape(bytes.substr(0, end), lookalikes) + "...";
}

const char* Display::lookalike(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const Character c = decode(bytes.substr(i));
    if (const char* what = lookalikeOf(c.code)) return what;
    i += std::max<std::size_t>(c.length, 1);
  }
  return nullptr;
}

long Display::hidden(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const Character c = decode(bytes.substr(i));
    if (c.length > 0 && escaped(c.code)) return static_cast<long>(c.code);
    i += std::max<std::size_t>(c.length, 1);
  }
  return -1;
}

std::size_t Display::characterLength(std::string_view bytes) {
  return decode(bytes).length;
}

long Display::codePoint(std::string_view bytes) {
  const Character c = bytes.empty() ? Character() : decode(bytes);
  return c.length > 0 ? static_cast<long>(c.code) : -1;
}

std::string Display::category(std::int32_t code) {
  for (const Category& c : kCategories) {
    if (c.code == code) return std::string(1, c.letter);
  }
  return std::to_string(code);
}

std::string Display::choices(std::string_view letters) {
  std::string out;
  for (std::size_t k = 0; k < letters.size(); ++k) {
    out += (k == 0                    ? ""
            : k + 1 == letters.size() ? " or "
                                      : ", ") +
           std::string(1, letters[k]);
  }
  return out;
}

std::string Display::date(const Date& d) {
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.getYear(), d.getMonth(),
                d.getDay());
  return text;
}

// The widths are the C library's, under C.UTF-8 whatever the user's locale
// is: its tables follow the Unicode of the system's glibc, as do the other
// programs (and often the terminal) on the same machine, and they cost no
// dependency. A character it has no width for (unassigned, a
// noncharacter), which a terminal shows as one box, takes 1; so does
// every character when the system has no C.UTF-8.
std::size_t Display::width(std::string_view shown) {
  static const locale_t utf8 =
      ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  const locale_t before = utf8 ? ::uselocale(utf8) : nullptr;
  std::size_t columns = 0;
  for (std::size_t i = 0; i < shown.size();) {
    const Character c = decode(shown.substr(i));
    i += std::max<std::size_t>(c.length, 1);
    const int w =
        c.code < 0x80 || !utf8 ? 1 : ::wcwidth(static_cast<wchar_t>(c.code));
    columns += w < 0 ? 1 : w;
  }
  if (utf8) ::uselocale(before);
  return columns;
}
