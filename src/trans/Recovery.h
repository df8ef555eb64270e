// Recovery: where a transaction that failed to read ends, so that the
// reader can go on with the next one, as the dry run does.
//
// What the failing kind still expects is read from the kinds table: its
// fields after the one whose token the failure stopped in. Each token is
// taken for the field its form fits (a quoted name, a category letter, a
// number, a date), as the run would read it once the mistake is fixed: a
// token that fits no field it stands for is a wrong value (the token after
// it fits the next field), a token too many (the one after it fits the
// field itself), or a later field (the fields before it are missing). A later
// line belongs to the transaction only while fields are still expected,
// and unless it starts with a type letter, in either case. A name not
// closed on its line ran over the fields after it that its text holds. The
// line of the last field is then read to its end, as the run skips it.
//
// It only reads: what it passes over is never told of. A read error leaves
// the stream bad, for the caller to report.
#ifndef EMPUPDATE_TRANS_RECOVERY_H_
#define EMPUPDATE_TRANS_RECOVERY_H_

#include <cstddef>
#include <span>
#include <string_view>

#include "Finding.h"
#include "Reading.h"
#include "modifstream.h"

class Recovery {
 public:
  // `reading`: what the reader learnt of the transaction that failed.
  Recovery(modifstream& in, const Reading& reading);

  // Clears the stream's failed state and reads past the rest of the
  // transaction.
  void skip();

 private:
  using Part = Finding::Part;

  // Which field of fields_ a token could be, from `from` on; fields_.size()
  // for none.
  std::size_t fit(std::string_view token, std::size_t from) const;
  // The first field still to read, counted in fields_, once the token the
  // failure stopped in is read past.
  std::size_t fieldReached();
  // The first field still to read, once the token of field `g`, which the
  // failure stopped in (`mid`: in the middle of it), is read past.
  std::size_t classify(std::size_t g, bool mid);
  // The first field still to read after `token`, which stands where field
  // `at` is read; what follows it starts `rest` characters past the read
  // position.
  std::size_t after(std::size_t at, std::string_view token, std::size_t rest);
  // After a name not closed on its line, field `g`: the first field still
  // to read.
  std::size_t unclosedName(std::size_t g);
  // The note of field k of fields_.
  const Finding& noteOf(std::size_t k) const;
  // Reads up to the end of the line, leaving its line feed.
  void restOfLine();
  // The token at the read position, on this line: a quoted name up to its
  // closing quote, else up to white space; empty at a line end.
  std::string_view tokenAhead(std::size_t skip = 0);
  // The first token `from` characters or more past the read position, on
  // this line or a later one that does not start with a type letter.
  std::string_view nextToken(std::size_t from);
  void take(std::size_t n);
  // Skips blanks (not line ends); false at the end of the text.
  bool skipBlanks();
  // Whether the reader stands at the start of a later line that starts
  // with a type letter: the next transaction's.
  bool atNextTransaction();
  // Consumes up to and past a double quote on this line, if there is one.
  bool toQuote();
  // Reads the fields from `at` on, as far as they go.
  void readFields(std::size_t at);

  modifstream& in_;
  const Reading& r_;
  std::span<const Finding::Part> fields_;
};

#endif  // EMPUPDATE_TRANS_RECOVERY_H_
