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
// Given a note (a Finding), a reader notes in it where its field stood and
// what was read there; given the Reading of a transaction, it also records
// there why it fails, where it throws.
#ifndef EMPUPDATE_TRANS_MODIFSTREAM_H_
#define EMPUPDATE_TRANS_MODIFSTREAM_H_

#include <cstdint>
#include <fstream>

#include "Date.h"
#include "Finding.h"
#include "Reading.h"
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

  // `create`: a missing file is created empty; else it is not opened.
  explicit modifstream(const char* name, bool create = true);
  ~modifstream() override = default;

  // Reads the next character that is not white space into `c`; false, with
  // the stream failed (and at its end when the text ended), when there is
  // none. White space: space, tab, line feed, vertical tab, form feed, CR.
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
  // The note gets, besides the place, how the read went, and what is wrong
  // with the number, if anything: kMissing, kNotNumber or kOutOfRange for a
  // failed read; kOctalDigit or kTooLong for one cut short.
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
  // Given a Reading, it notes the name there and records why it fails.
  char* getQuoted(char* buffer, int maxLen, char quote,
                  Reading* reading = nullptr);

  // Reads year/month/day (white space allowed before each part; numbers
  // clamp on overflow; a number that cannot be read counts as 0) and returns
  // the checked Date. Throws InvalidDate for a missing or wrong separator,
  // and the range errors of Date. Given a Reading, it notes the date and
  // its parts there, and records why it fails.
  Date getDate(Reading* reading = nullptr);

  // How the field a transaction failed in goes on past the read position.
  enum class Rest {
    kToken,       // up to white space
    kNameGoesOn,  // a name cut by a line end: up to its quote on this line
    kUpToQuote,   // a name not quoted, or too long: up to a quote on the
                  // line, if there is one, else up to the word before one
                  // of the categories (the name's words), or white space
  };
  // After a transaction that failed, whose type letter stood on `line`:
  // clears the failed state and reads past the rest of the transaction:
  // what is left of the field it failed in (`rest`), then `fields` more
  // fields, each up to white space, or a quoted name on one line. A line
  // after `line` that begins, after blanks, with one of `letters` and no
  // letter after it starts the next transaction: the rest ends before it
  // (a read that failed there may have taken that letter: it is put
  // back). Else the rest ends with the line of its last field.
  // `dateLast`: a field with a "/" in it is a date, the last field.
  void recover(long line, const char* letters, const char* categories,
               Rest rest, int fields, bool dateLast);

  // Notes in `note` where the read position is and the text from there
  // on, without reading anything.
  void noteHere(Finding& note);

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
  // Skips white space and notes the place reached in `note`, if any.
  bool skipTo(Finding* note);
  // Consumes one character that stands in the buffer.
  int_type take();

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
