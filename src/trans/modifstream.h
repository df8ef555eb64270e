// modifstream: the input stream of the transaction file, an std::ifstream
// that reads its file as text (see TextModeBuf) and adds the readers of the
// transaction syntax: numbers, quoted names and dates.
//
// Opening creates a missing file, empty (mode 0666 less the umask), and
// never truncates. A directory, FIFO or device, or a name that can be
// neither opened nor created, leaves the stream failed; the constructor
// never throws. The file is opened once: what is read is the very file that
// was checked, whatever later happens to its name.
//
// The number rule, for every number of the file: white space skipped; an
// optional sign; "0x"/"0X" makes the rest hexadecimal, another leading "0"
// octal, else decimal; at most 15 characters, sign and prefix included; the
// first character that cannot continue the number is left unread. A read
// that takes no digit fails and leaves what it looked at unread; a read on a
// failed stream, or at the end of the text, fails and stores nothing. A
// failed read fails the stream, so every later read fails too.
//
// Readers throw the syntax errors below (empty, thrown by value), or
// ReadFailed when the file could not be read (an I/O error), so that a
// broken disk is never taken for a syntax error or for the end of the file.
// Given a note (a Finding), a reader notes in it the facts of its field:
// where it stood, the text from there on, and how the read went. It
// decides no reason and no hint: what is wrong with a field, and what to
// tell of it, is the field reader's (FieldReader) to say.
//
// It is also the character source of the reader's recovery after a
// failure: a cursor that knows its line, and whether the line it is on held
// anything but white space before the read position.
#ifndef EMPUPDATE_TRANS_MODIFSTREAM_H_
#define EMPUPDATE_TRANS_MODIFSTREAM_H_

#include <cstdint>
#include <fstream>

#include "Date.h"
#include "Finding.h"
#include "TextModeBuf.h"

class modifstream : public std::ifstream {
 public:
  struct InvalidQuotedString {};
  struct MaxLenExceeded {};
  struct InvalidDate {};
  struct ReadFailed {};

  // What a number beyond the signed 32-bit range becomes.
  enum class Overflow {
    kFail,   // a failed read (employee numbers, amounts)
    kClamp,  // the nearest limit, and the read succeeds (dates)
  };

  // The white space between fields, and before every number: space, tab,
  // line feed, vertical tab, form feed and carriage return.
  static constexpr const char* kWhiteSpace = " \t\n\v\f\r";
  static constexpr bool isWhiteSpace(int c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
  }
  // The letters and digits fields are told by, whatever the locale.
  static constexpr bool isDigit(int c) { return c >= '0' && c <= '9'; }
  static constexpr bool isLetter(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  }
  static constexpr char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  // The most characters a number takes, sign and prefix included.
  static constexpr std::size_t kMaxNumberChars = 15;

  // `create`: a missing file is created empty; else it is not opened.
  explicit modifstream(const char* name, bool create = true);

  // Reads the next character that is not white space into `c`; false, with
  // the stream failed (and at its end when the text ended), when there is
  // none.
  bool getChar(char& c, Finding* note = nullptr);
  // Reads the next character as it is, skipping nothing; eof, with the
  // stream failed, when there is none.
  int_type getRaw();
  // Puts back the character getRaw() last took.
  void ungetRaw() { text_.sungetc(); }
  // The next character, left unread; eof when there is none. Unlike
  // peek(), it never changes the stream's state, but for a read error.
  int_type peekRaw();

  // Reads a number into `n` by the number rule; false when the read failed.
  // The note gets the place, and: `read` (the read succeeded), `base`,
  // `length` (the characters taken; 0 when no digit was), `value` and
  // `cutShort` (as numberCutShort()).
  bool getNumber(std::int32_t& n, Overflow overflow, Finding* note = nullptr);
  // True when the last number read stopped at a character that could have
  // continued it (a decimal digit, or a hexadecimal digit after a
  // hexadecimal number): it was cut short by its base or by the length
  // limit, e.g. "08" read as 0 with the 8 left.
  bool numberCutShort() const { return cutShort_; }

  // Skips white space, expects `quote`, then copies the characters up to
  // the closing quote (consumed) into buffer and NUL-terminates it. At most
  // maxLen - 1 characters fit. Throws InvalidQuotedString when the opening
  // quote is missing or a line feed stands inside, MaxLenExceeded when no
  // closing quote comes within maxLen characters or the text ends inside.
  // The note gets the place.
  char* getQuoted(char* buffer, int maxLen, char quote,
                  Finding* note = nullptr);

  // Reads year/month/day (white space allowed before each part; numbers
  // clamp on overflow; a number that cannot be read counts as 0) and returns
  // the checked Date. Throws InvalidDate for a missing or wrong separator,
  // and the range errors of Date. Each part read is noted in its note, if
  // given, as getNumber() notes a number.
  Date getDate(Finding* year = nullptr, Finding* month = nullptr,
               Finding* day = nullptr);

  // Notes in `note` where the read position is and the text from there
  // on, without reading anything.
  void noteHere(Finding& note);

  // The cursor, for a reader that reads past a failure: the character k
  // places ahead (0: the next), or eof; the text from the read position,
  // at least k characters of it unless the text ends first (k < 8191);
  // one character consumed as it is. None changes the stream's state.
  int_type peekAt(std::size_t k) { return text_.peek(k); }
  std::size_t ahead(std::size_t k, const char** text) {
    return text_.ahead(k, text);
  }
  int_type take();
  // Consumes a blank (white space but a line feed), which leaves its line
  // as blank as it was.
  void takeBlank();
  // The character consumed last, or eof.
  int_type behind() const { return text_.behind(); }
  // Whether nothing but white space was consumed on the line of the read
  // position; and the character consumed first on it, when that is the one
  // thing consumed there since, else eof.
  bool lineBlank() const { return lineBlank_; }
  int_type lineStart() const { return lineStart_; }
  // Puts back that first character, which then starts its line again.
  void putBackLineStart();

  // Throws ReadFailed when the stream is in its bad state.
  void checkRead() const;
  // The line of the next unread character, counted from 1.
  long line() { return text_.linesConsumed() + 1; }
  // Moves back to the start of the text without clearing the stream state.
  void rewind();
  // Whether nothing but white space was read since the start of the text.
  bool atStart() const { return !began_; }
  // Whether text other than white space after a 0x1A was ignored.
  bool textAfterEnd() const { return text_.textAfterEnd(); }
  // Whether the last quoted string read held a NUL, where a name ends,
  // with something other than NUL after it, which is lost.
  bool quotedLostText() const { return quotedLostText_; }
  // errno of the failed open or of the last read error, 0 while none;
  // kNotRegularFile for a FIFO, socket or device.
  int error() const { return openError_ != 0 ? openError_ : text_.error(); }
  static constexpr int kNotRegularFile = -1;
  // The descriptor of the file read, still owned by the stream; -1 when the
  // open failed or the stream is closed.
  int descriptor() const { return text_.descriptor(); }
  // Closes the file; later reads find the text ended.
  void close() { text_.close(); }

 private:
  // Skips white space; false, with the stream failed, when the stream had
  // failed already or the text ends first.
  bool skipWhiteSpace();
  // Skips white space and notes the place reached in `note`, if any. A
  // stream that had failed before reaches no field: the note stays as the
  // transaction began it, not reached.
  bool skipTo(Finding* note);

  TextModeBuf text_;
  int openError_ = 0;
  bool quotedLostText_ = false;
  bool cutShort_ = false;
  // Only white space was consumed since the last line feed.
  bool lineBlank_ = true;
  bool began_ = false;
  // The character a read consumed first on a line that was blank before
  // it, while nothing else has been consumed since; else eof.
  int_type lineStart_ = traits_type::eof();
};

#endif  // EMPUPDATE_TRANS_MODIFSTREAM_H_
