// TransReader: the driver of the transaction reader. It reads the next
// transaction from the stream it is given: its type letter, which makes an
// object of the kind the kinds table gives it, then the kind's fields
// (EmpTrans::readContent), then the rest of the line, which it skips.
//
// get() returns the new object, owned by the caller, and records in the
// caller's Reading what it learnt. It throws what EmpTrans::get() throws.
// It holds nothing between transactions: the stream is the one state.
#ifndef EMPUPDATE_TRANS_TRANSREADER_H_
#define EMPUPDATE_TRANS_TRANSREADER_H_

#include <memory>

#include "EmpTrans.h"
#include "Reading.h"
#include "modifstream.h"

class TransReader {
 public:
  explicit TransReader(modifstream& in) : in_(in) {}

  std::unique_ptr<EmpTrans> get(Reading& reading);

 private:
  // The kind of the type letter read as `letter`, the transaction's first
  // when `first`; throws EmpTrans::NotText or EmpTrans::InvalidType.
  const EmpTrans::Kind& kindOf(char letter, bool first, Reading& reading);
  // After the last field: skips the rest of the line, warning of what it
  // held but a comment.
  void skipRest(Reading& reading, const EmpTrans::Kind& kind);

  modifstream& in_;
};

#endif  // EMPUPDATE_TRANS_TRANSREADER_H_
