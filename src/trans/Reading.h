// Reading: what the transaction reader learnt of one transaction, handed to
// whoever asked for it as a value: where the transaction starts, its kind, a
// note of each field (where it stood, what was read there), the finding of
// the error that stopped it, if one did, and its warnings in file order.
//
// The caller owns it and gives it to EmpTrans::get, which clears it before
// it reads; nothing of it outlives the caller's object.
//
// The first error the reader finds in a transaction is the one to blame: a
// failure after it is a consequence. Some faults are found before they make
// the transaction fail (a number run into what follows it fails only the
// field after it, by the number rule): the reader suspects the field at
// once, and the suspicion becomes the error if the transaction fails.
#ifndef EMPUPDATE_TRANS_READING_H_
#define EMPUPDATE_TRANS_READING_H_

#include <vector>

#include "Finding.h"

class Reading {
 public:
  using Part = Finding::Part;
  using Reason = Finding::Reason;
  using Hint = Finding::Hint;

  // Forgets the last transaction; `line` is where the reader is.
  void clear(long line) {
    // A field not reached has line 0 and no reason; a reader that reaches
    // one notes it afresh.
    for (int p = 0; p < Finding::kParts; ++p) {
      Finding& f = notes_[p];
      f.part = static_cast<Part>(p);
      f.reason = Reason::kNone;
      f.hint = Hint::kNone;
      f.line = 0;
    }
    blamed_ = -1;
    failed_ = false;
    warnings_.clear();
    line_ = started_ = line;
    kind_ = -1;
  }

  Finding& note(Part p) { return notes_[static_cast<int>(p)]; }
  const Finding& note(Part p) const { return notes_[static_cast<int>(p)]; }

  // Blames `p` for the error the transaction may yet fail with, unless a
  // field is blamed already. A reason or hint given replaces the note's.
  void suspect(Part p, Reason r = Reason::kNone, Hint h = Hint::kNone) {
    if (blamed_ >= 0) return;
    Finding& f = note(p);
    if (r != Reason::kNone) f.reason = r;
    if (h != Hint::kNone) f.hint = h;
    blamed_ = static_cast<int>(p);
  }
  // The transaction fails now, for the first field blamed, or else `p`.
  void fail(Part p, Reason r = Reason::kNone, Hint h = Hint::kNone) {
    suspect(p, r, h);
    failed_ = true;
  }
  // Notes a warning of text the run reads otherwise than it looks.
  void warn(const Finding& f) { warnings_.push_back(f); }
  // Notes a warning of the field noted in `f`, for reason `why`.
  void warn(Finding f, Reason why) {
    f.reason = why;
    warn(f);
  }

  // The finding of the error that stopped the transaction, or nullptr.
  const Finding* error() const { return failed_ ? &notes_[blamed_] : nullptr; }
  const std::vector<Finding>& warnings() const { return warnings_; }
  // The line of the transaction's type letter, or, when none was read,
  // where the reader looked for one.
  long line() const { return line_; }
  void setLine(long line) { line_ = line; }
  // Where the reader was when it began this reading, before the white
  // space and comments it crossed.
  long started() const { return started_; }
  // The kind's place in EmpTrans::kinds(), or -1 before it is known. A
  // type letter in lower case gives the kind it stands for in upper case,
  // though the transaction fails for it.
  int kind() const { return kind_; }
  void setKind(int k) { kind_ = k; }

 private:
  Finding notes_[Finding::kParts];
  int blamed_ = -1;  // the note blamed
  bool failed_ = false;
  std::vector<Finding> warnings_;
  long line_ = 1;
  long started_ = 1;
  int kind_ = -1;
};

#endif  // EMPUPDATE_TRANS_READING_H_
