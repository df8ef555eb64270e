// EmpTrans: one transaction of emptrans.dat, and the class-wide reader of
// that file.
//
// openFile() opens the file (creating it empty when missing) and moves to
// its start; get() reads the next transaction and returns a new object of
// its kind (AddTrans, ChangeTrans, DeleteTrans), owned by the caller; its
// process() applies it to employee.dat. closeFile() closes the file.
//
// Text form: a type letter ("A", "C" or "D", upper case) as the first
// character that is not white space, then its fields, each after optional
// white space (line ends included):
//   A "name" category amount year/month/day
//   C number "name" category amount year/month/day
//   D number
// The category is "S" (0), "H" (1) or "*" (-1). After the last field the
// rest of the line is ignored.
//
// Errors are empty classes thrown by value. get() throws NoMore when only
// white space is left; every other error means the transaction was not
// read and nothing of it may be applied.
#ifndef EMPUPDATE_TRANS_EMPTRANS_H_
#define EMPUPDATE_TRANS_EMPTRANS_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Date.h"
#include "Employee.h"
#include "modifstream.h"

class EmpTrans {
 public:
  struct EmpTransErrors {};
  // emptrans.dat can be neither opened nor created, or is not a regular file.
  struct CantOpenFile : EmpTransErrors {};
  // No transaction is left.
  struct NoMore : EmpTransErrors {};
  // The type letter is not "A", "C" or "D".
  struct InvalidType : EmpTransErrors {};
  // The content after the type letter is wrong; the kinds below say how.
  struct InvalidContent : EmpTransErrors {};
  // The category letter is not "S", "H" or "*", or is missing.
  struct InvalidCategory : InvalidContent {};
  // A "D" without a readable employee number (none, or out of range).
  struct InvalidNumber : InvalidContent {};
  // A digit stands right after the transaction's last number: the number
  // rule ended that number early ("08" is octal 0, then 8).
  struct NumberCutShort : InvalidContent {};
  // The first transaction starts with a byte order mark, or with a NUL
  // byte before or after its first character, as text in UTF-16 does: the
  // file is not in the encoding it is read in. Such a file fails to read
  // anyway; this only names the reason.
  struct NotText : InvalidType {};

  static constexpr std::size_t kNameBytes = 32;
  static constexpr const char* kFileName = "emptrans.dat";

  EmpTrans() = default;
  virtual ~EmpTrans() = default;
  EmpTrans(const EmpTrans&) = delete;
  EmpTrans& operator=(const EmpTrans&) = delete;

  // Applies the transaction to employee.dat. The base does nothing.
  virtual void process() {}

  static void openFile();
  // Reads the next transaction. Throws NoMore, InvalidType, InvalidContent,
  // the errors of modifstream's readers and the range errors of Date.
  static std::unique_ptr<EmpTrans> get();
  static void closeFile();
  // The line of emptrans.dat on which the last type letter read stands (or,
  // before one is read, the line the reader is on).
  static long line() { return currentLine; }
  // The last type letter read.
  static char typeLetter() { return currentLetter; }
  // The line the reader is on: where the next transaction would be read.
  static long readerLine() { return transFile ? transFile->line() : 1; }
  // errno of a read error on emptrans.dat, 0 while none.
  static int readError() { return transFile ? transFile->error() : 0; }
  // Why the last openFile() failed: an errno, or
  // modifstream::kNotRegularFile.
  static int openError() { return openError_; }
  // The descriptor emptrans.dat is read from, or -1.
  static int descriptor() { return transFile ? transFile->descriptor() : -1; }

  // Reads name, category letter, amount and date into this object.
  void readContent();

  // The fields of a transaction, as a diagnostic names them.
  enum class Part {
    kType,
    kNumber,
    kName,
    kCategory,
    kAmount,
    kYear,
    kMonth,
    kDay,
    kNone
  };
  static constexpr int kParts = static_cast<int>(Part::kNone);
  // Where each field of the last transaction read stood and what was read
  // there; line 0 for a field not reached.
  static const modifstream::Field& field(Part p) {
    return fields_[static_cast<int>(p)];
  }
  // The number of the transaction being read that a later syntax error is
  // to be blamed on (kNumber or kAmount), or kNone: it could not be read
  // (missing, out of range, or run into the next character: "C 1x"), or
  // the number rule cut it short.
  static Part suspect() { return suspect_; }
  // The last number read of the transaction: the one NumberCutShort blames.
  static Part lastNumber() { return lastNumber_; }
  // What the rest of the line after the last transaction's last field held,
  // all of it ignored: text, or text after a lone CR, which ends no line,
  // so that the transactions after it on that line are lost as well.
  enum class Skipped { kNothing, kText, kLoneCarriageReturn };
  static Skipped skipped() { return skipped_; }
  // The line on which that rest stood.
  static long skippedLine() { return skippedLine_; }
  // Whether the name of the last transaction read held a NUL byte with
  // something after it: the name ends at the NUL, and the rest is lost.
  static bool nameLostText() { return nameLostText_; }
  // After NoMore: the line of a byte 0x1A, which ends the file's text,
  // when text other than white space stood after it and was never read;
  // else 0.
  static long lostAfterEnd() { return lostAfterEnd_; }

  // Fields as read; those a kind does not read keep these starting values.
  std::int32_t id = 0;
  char name[kNameBytes] = {};
  std::int32_t category = 0;
  std::int32_t amount = 0;
  Date date;

 protected:
  // Employee::load of this transaction's id into `e`. For an unknown id it
  // writes, on standard error, a line end (flushed), "Transaction found for
  // invalid employee: " and the id in decimal, with no line end after it,
  // and throws Employee::NoSuch again.
  void loadOrReport(Employee& e) const;

 private:
  static modifstream* transFile;
  static long currentLine;
  static char currentLetter;
  static int openError_;
  static bool firstRead_;  // no transaction was read since openFile()
  static modifstream::Field fields_[kParts];
  static Part suspect_;
  static Part lastNumber_;
  static Skipped skipped_;
  static long skippedLine_;
  static bool nameLostText_;
  static long lostAfterEnd_;

  static modifstream::Field* at(Part p) {
    return &fields_[static_cast<int>(p)];
  }
  // Reads the number `p` into `n`; it is to blame for a later syntax error
  // when it failed, or is not ended by white space (or by the quote of a
  // name, when `quoteMayFollow`), as a number cut short by the number rule
  // never is: a digit follows it.
  static void readNumber(std::int32_t& n, Part p, bool quoteMayFollow);
  // Whether the first characters of the file say it is not plain text.
  static bool notText();
};

#endif  // EMPUPDATE_TRANS_EMPTRANS_H_
