// Display: how the companion programs show the fields of a record to a
// person.
//
// A name is shown as its bytes up to the first NUL. Valid UTF-8 stands as
// it is; every byte that is not part of valid UTF-8, every control
// character (C0, DEL and C1), every character that would reorder or break
// the line on a terminal (the bidirectional marks, embeddings and
// isolates, the line and paragraph separators) and every one that shows
// nothing (zero-width space, joiner and non-joiner, soft hyphen, variation
// selectors, byte-order mark, Hangul fillers, tag characters and their
// kind) is shown as \xNN, byte by byte, and a
// backslash as two. The form is reversible: read from left to right, each
// \xNN is one byte, each pair of backslashes one backslash, and every
// other byte is itself.
#ifndef EMPUPDATE_DISPLAY_DISPLAY_H_
#define EMPUPDATE_DISPLAY_DISPLAY_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Date.h"

class Display {
 public:
  // Whether `text` shows the characters that look like ASCII ones the
  // transactions are written with (see `lookalike`) as they are, or as
  // \xNN byte by byte, so that a diagnostic tells them apart.
  enum class Lookalikes { kShow, kEscape };

  // The name held by a name field of `size` bytes.
  static std::string name(const char* field, std::size_t size);
  // Any bytes, NUL included (\x00), escaped as a name is. Past `limit`
  // bytes the text is cut before the first character (or byte that is not
  // part of one) that would cross the limit, and "..." shows the cut.
  static std::string text(std::string_view bytes, std::size_t limit,
                          Lookalikes lookalikes = Lookalikes::kShow);
  // For the first character of `bytes` that looks like an ASCII character
  // of the transactions' syntax (a space, a quote, a minus sign or a dash,
  // a digit, a slash), what it is, in lower case with its code point:
  // "a non-breaking space (U+00A0)"; nullptr when there is none. The text
  // lives as long as the program.
  static const char* lookalike(std::string_view bytes);
  // The code point of the first valid character of `bytes` that is shown
  // escaped (a control character, or one that shows nothing or reorders
  // the line), or -1 when there is none.
  static long hidden(std::string_view bytes);
  // The length of the valid UTF-8 character that starts `bytes` (not
  // empty), or 0 when its first byte starts none.
  static std::size_t characterLength(std::string_view bytes);
  // The code point of the valid UTF-8 character that starts `bytes`, or -1
  // when none does (or `bytes` is empty).
  static long codePoint(std::string_view bytes);
  // The category's letter (see Category), or the code as a number.
  static std::string category(std::int32_t code);
  // Letters as a sentence lists them: "A, C or D".
  static std::string choices(std::string_view letters);
  // YYYY-MM-DD, each part as stored.
  static std::string date(const Date& d);
  // The columns that `shown`, a text as `name` or `text` give it, takes on
  // a terminal: 2 for a wide character (East Asian wide or fullwidth,
  // emoji), 0 for a combining mark, 1 for the others, whatever the
  // user's locale.
  static std::size_t width(std::string_view shown);
};

#endif  // EMPUPDATE_DISPLAY_DISPLAY_H_
