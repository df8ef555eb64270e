// FieldReader: the readers of a transaction's fields, one a field, on the
// transaction file's stream. Each reads its field by the syntax of
// modifstream, which notes in the transaction's Reading where the field
// stood and what was read there; the reader then decides what is wrong with
// it (the reason, the hint, the field blamed): the one place that judges
// that field. A kind is read by calling them in the order of its fields.
//
// A field that fails throws as modifstream's readers do, or one of the
// EmpTrans errors named below. A field found wrong before it fails anything
// (a number run into what follows it, which by the number rule fails only
// the next field) is suspected, and blamed if the transaction fails.
#ifndef EMPUPDATE_TRANS_FIELDREADER_H_
#define EMPUPDATE_TRANS_FIELDREADER_H_

#include <cstdint>

#include "Date.h"
#include "Finding.h"
#include "Reading.h"
#include "modifstream.h"

class FieldReader {
 public:
  using Part = Finding::Part;

  FieldReader(modifstream& in, Reading& reading) : in_(in), r_(reading) {}

  // An integer field: the employee number or the amount. `next` is the
  // field that follows, or Part::kType when none does; then a number that
  // can't be read, or is a decimal, fails here as EmpTrans::InvalidNumber,
  // and one that stops at a digit as EmpTrans::NumberCutShort. Other text
  // right after a last number is the rest of the line, which is skipped.
  std::int32_t integer(Part p, Part next);
  // The name into `buffer` (EmpTrans::kNameBytes). `numberHint`: what a
  // number where the name belongs is told, by the kind.
  void name(char* buffer, Finding::Hint numberHint);
  // The category letter's code; throws EmpTrans::InvalidCategory.
  std::int32_t category();
  // The date; `last`: no field follows it, so a day that stops at a digit
  // fails here, as EmpTrans::NumberCutShort.
  Date date(bool last);
  // Warns of a number read in another base than its digits say in decimal,
  // or, for the amount, ended by the length limit.
  void warnOfNumber(Part p);
  // A word where the type letter belongs ("Delete"): no first field starts
  // with a letter, so the transaction will fail, for the word.
  void suspectWord(Part first);
  // Why a type or category letter that is none of its set fails: a
  // character from outside ASCII that shows, and may pass for one of the
  // set ("А", Cyrillic), or any other.
  static Finding::Reason notOfSet(const Finding& letter);

 private:
  // Fails a name the reader gave up on at the limit of its field or at
  // the end of the text, `n` its note.
  void failOverlong(const Finding& n);
  // Reads past the line end, where a name cut by it leaves the stream.
  void toLineEnd();
  // Judges the parts of a date read, and suspects one cut short.
  void judgeDate();
  // Fails the date for part `p`, out of its range unless it was not read.
  void outOfRange(Part p, Finding::Hint hint);

  modifstream& in_;
  Reading& r_;
};

#endif  // EMPUPDATE_TRANS_FIELDREADER_H_
