// EmpTrans: one transaction of emptrans.dat, the base of its kinds, and the
// class-wide stream on that file.
//
// openFile() opens the file (creating it empty when missing) and moves to
// its start; get() reads the next transaction (TransReader) and returns a
// new object of its kind, owned by the caller; its process() applies it to
// employee.dat. closeFile() closes the file.
//
// Text form: a kind's type letter (upper case) as the first character that
// is not white space, then the fields of its kind, each after optional
// white space (line ends included), as kindList() shows them. The category
// is a letter of Category's table. After the last field the rest of the
// line is ignored; a comment, after a "#", without a warning.
//
// Errors are empty classes thrown by value. get() throws NoMore when only
// white space is left; every other error means the transaction was not
// read and nothing of it may be applied. What the reader found, and why it
// failed, it records in the caller's Reading.
//
// A kind is one file of kinds/: its class, which applies it and lists it
// in a report, and its Kind, which gives its type letter, its name, and the
// fields it is written with, which the readers of FieldReader read. kinds()
// is the one table of them, and nothing else tells kinds apart by their
// letter.
#ifndef EMPUPDATE_TRANS_EMPTRANS_H_
#define EMPUPDATE_TRANS_EMPTRANS_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "Date.h"
#include "Employee.h"
#include "FieldReader.h"
#include "Finding.h"
#include "Reading.h"
#include "modifstream.h"

class EmpTrans {
 public:
  struct EmpTransErrors {};
  // emptrans.dat can be neither opened nor created, or is not a regular file.
  struct CantOpenFile : EmpTransErrors {};
  // No transaction is left.
  struct NoMore : EmpTransErrors {};
  // The type letter is not one of a kind's.
  struct InvalidType : EmpTransErrors {};
  // The content after the type letter is wrong; the kinds below say how.
  struct InvalidContent : EmpTransErrors {};
  // The category letter is not "S", "H" or "*", or is missing.
  struct InvalidCategory : InvalidContent {};
  // The transaction's last field is a number that can't be read (none, out
  // of range, or a decimal): no later field fails for it.
  struct InvalidNumber : InvalidContent {};
  // A digit stands right after the transaction's last number: the number
  // rule ended that number early ("08" is octal 0, then 8).
  struct NumberCutShort : InvalidContent {};
  // What a kind refuses to do as it applies the transaction, for the
  // reason of the reasons table that words it. Thrown before anything is
  // written.
  struct Refused : EmpTransErrors {
    Finding::Reason reason;
  };
  // The first transaction starts with a byte order mark, or with a NUL
  // byte before or after its first character, as text in UTF-16 does: the
  // file is not in the encoding it is read in. Such a file fails to read
  // anyway; this only names the reason.
  struct NotText : InvalidType {};

  using Part = Finding::Part;

  // A kind of transaction: its type letter, its name in reports ("add")
  // and their plural, the fields written after its letter, in their order,
  // how one is made, and whether it gives out the next employee number (so
  // that leaving one out shifts the numbers of those after it). kinds()
  // lists them all, in the order a summary counts them.
  struct Kind {
    char letter;
    const char* name;
    const char* plural;
    std::span<const Part> fields;
    std::unique_ptr<EmpTrans> (*make)();
    bool givesNumber;
    // What else the help tells of how it is written, as sentences after
    // the list of kinds, or nullptr.
    const char* note = nullptr;
    // The file the kind is defined in, for the test that every kind's file
    // has its row in the table.
    const char* source = __builtin_FILE();

    // Whether it is written with an employee number.
    bool hasNumber() const {
      return std::find(fields.begin(), fields.end(), Part::kNumber) !=
             fields.end();
    }
  };
  static std::span<const Kind* const> kinds();
  // The place in kinds() of the kind of type letter `letter`, or -1.
  static int placeOf(char letter);
  // The type letters, as a diagnostic lists them: "A, C or D".
  static std::string letters();
  // How a kind is written: C NUMBER "NAME" CATEGORY AMOUNT YEAR/MONTH/DAY.
  static std::string synopsis(const Kind& kind);
  // Every kind, a line each: its synopsis and, after it, its name; then
  // the kinds' notes.
  static std::string kindList(const char* indent);

  static constexpr std::size_t kNameBytes = 32;
  static constexpr const char* kFileName = "emptrans.dat";

  EmpTrans() : messages_(&std::cerr) {}
  virtual ~EmpTrans() = default;
  EmpTrans(const EmpTrans&) = delete;
  EmpTrans& operator=(const EmpTrans&) = delete;

  // Applies the transaction to employee.dat. The base does nothing.
  virtual void process() {}
  // Its kind: its place in kinds(), or -1 for an object get() did not
  // make.
  int kind() const { return kind_; }
  // The record the transaction will change, read before it is applied,
  // for plan(): that of its employee number, for a kind written with one.
  // Read after it, the record as the transaction left it.
  std::optional<Employee> recordBefore() const;
  // The record it made or changed, once applied: that of its employee
  // number, or, for a kind that gives one out, the record appended last,
  // which got the highest number there is.
  std::optional<Employee> recordAfter() const;
  // What the transaction did, once applied, as a report lists it, in the
  // words of PlanText: "add 10: ...", "change 5: name "Jonathan" -> "Al"",
  // "delete 3".
  virtual std::string plan(const std::optional<Employee>& before) const = 0;

  // Opens emptrans.dat, creating it empty when missing, and moves to its
  // start. When it can't, `error`, if given, gets the errno, or
  // modifstream::kNotRegularFile.
  // `create` false: a missing file is not created, and can't be opened.
  static void openFile(int* error = nullptr, bool create = true);
  // Reads the next transaction into a new object of its kind, and what it
  // learnt of it into `reading`. Throws NoMore, InvalidType,
  // InvalidContent, the errors of modifstream's readers and the range
  // errors of Date; for each syntax error, reading.error() is why.
  static std::unique_ptr<EmpTrans> get(Reading& reading);
  static std::unique_ptr<EmpTrans> get();
  static void closeFile();
  // Moves the open file back to its start, its end or failure forgotten,
  // for another pass through it: the same descriptor, never opened again
  // by name.
  static void rewindFile();
  // After a transaction that failed to read: moves to the first line after
  // the one it starts on that begins with a type letter (in either case),
  // so that the transactions after it can be read. Only while the file is
  // open.
  static void skipFailed(const Reading& reading);
  // Moves the reader to the start of line `line` (counted from 1 in the
  // whole file), or to the end of the text when it ends first; the lines
  // before it are read past, unread as transactions. Right after
  // openFile() only.
  static void moveToLine(long line);
  // Moves the reader past white space, line ends included, and returns the
  // line it then stands on, or 0 when the text ended first: the line of
  // the next transaction's type letter. Only when nothing is read after.
  // Throws modifstream::ReadFailed when the file could not be read.
  static long skipToNext();
  // The line the reader is on: where the next transaction would be read.
  static long readerLine() { return transFile ? transFile->line() : 1; }
  // The line of the last character read: after get(), the line the
  // transaction ends on (the reader takes the rest of it, line feed
  // included).
  static long lastLineRead() {
    return readerLine() - (transFile && transFile->behind() == '\n' ? 1 : 0);
  }
  // errno of a read error on emptrans.dat, 0 while none.
  static int readError() { return transFile ? transFile->error() : 0; }
  // The descriptor emptrans.dat is read from, or -1.
  static int descriptor() { return transFile ? transFile->descriptor() : -1; }

  // Where process() writes its message: standard error, unless the owner
  // of the transaction gives another stream.
  void sendMessagesTo(std::ostream& out) { messages_ = &out; }
  // Once its fields are read: notes in `reading` a warning of what the
  // transaction would do that the operator may not mean.
  virtual void review(Reading&) const {}
  // In a dry run only, before the transaction applies to `before`, the
  // record it loads: a warning of what it would do to that record that the
  // operator may not mean, made from the notes of `r`, or none.
  virtual std::optional<Finding> reviewRecord(const Reading&,
                                              const Employee&) const {
    return std::nullopt;
  }
  // Whether the transaction makes nothing of the value read for `p`, so
  // that how it was read is not worth a warning.
  virtual bool ignores(Part) const { return false; }

  // Fields as read; those a kind does not read keep these starting values.
  std::int32_t id = 0;
  char name[kNameBytes] = {};
  std::int32_t category = 0;
  std::int32_t amount = 0;
  Date date;

 protected:
  // Employee::load of this transaction's id into `e`. For an unknown id it
  // writes, on its message stream, a line end (flushed), "Transaction found
  // for invalid employee: " and the id in decimal, with no line end after
  // it, and throws Employee::NoSuch again.
  void loadOrReport(Employee& e) const;
  // The record the first index entry for `id` leads to, if any.
  static std::optional<Employee> recordOf(std::int32_t id);

 private:
  friend class TransReader;

  // Reads the fields of this object's kind, those after its type letter.
  void readContent(FieldReader& in);

  static modifstream* transFile;
  int kind_ = -1;
  std::ostream* messages_;
};

#endif  // EMPUPDATE_TRANS_EMPTRANS_H_
