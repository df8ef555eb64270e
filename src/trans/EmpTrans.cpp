#include "EmpTrans.h"

#include <iostream>

#include "AddTrans.h"
#include "ChangeTrans.h"
#include "DeleteTrans.h"

modifstream* EmpTrans::transFile = nullptr;
long EmpTrans::currentLine = 1;
char EmpTrans::currentLetter = '\0';
int EmpTrans::openError_ = 0;
EmpTrans::Suspect EmpTrans::suspect_ = EmpTrans::Suspect::kNone;
EmpTrans::Skipped EmpTrans::skipped_ = EmpTrans::Skipped::kNothing;
long EmpTrans::skippedLine_ = 0;
bool EmpTrans::nameHeldNul_ = false;
long EmpTrans::lostAfterEnd_ = 0;

namespace {

bool isWhiteSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

EmpTrans::Suspect EmpTrans::suspectNumber(bool read, Suspect failed,
                                          Suspect cut, bool quoteMayFollow) {
  modifstream& in = *transFile;
  if (!read) return failed;
  if (in.numberCutShort()) return cut;
  // What stands right after a number must end it: white space, or the
  // quote of a name. "C 1x" is not employee 1.
  const int next = in.peekRaw();
  if (next == modifstream::traits_type::eof() || isWhiteSpace(next) ||
      (quoteMayFollow && next == '"')) {
    return Suspect::kNone;
  }
  return failed;
}

void EmpTrans::openFile() {
  if (transFile == nullptr) {
    auto* stream = new modifstream(kFileName);
    if (stream->fail()) {
      openError_ = stream->error();
      delete stream;
      throw CantOpenFile();
    }
    transFile = stream;
  }
  transFile->rewind();
  currentLine = transFile->line();
}

void EmpTrans::closeFile() {
  if (transFile == nullptr) return;
  transFile->close();
  delete transFile;
  transFile = nullptr;
}

std::unique_ptr<EmpTrans> EmpTrans::get() {
  modifstream& in = *transFile;
  char letter = '\0';
  const bool read = in.getChar(letter);
  currentLine = in.line();
  in.checkRead();  // a broken disk is not the end of the transactions
  if (!read) {
    lostAfterEnd_ = in.textAfterEnd() ? in.line() : 0;
    throw NoMore();
  }
  currentLetter = letter;
  suspect_ = Suspect::kNone;
  nameHeldNul_ = false;

  std::unique_ptr<EmpTrans> t;
  switch (letter) {
    case 'A':
      t = std::make_unique<AddTrans>();
      t->readContent();
      t->id = -1;
      break;
    case 'C':
      t = std::make_unique<ChangeTrans>();
      // A number that can't be read fails the stream: the name read that
      // follows reports it, and suspect() says the number is to blame.
      suspect_ =
          suspectNumber(in.getNumber(t->id, modifstream::Overflow::kFail),
                        Suspect::kNumber, Suspect::kNumberCut, true);
      t->readContent();
      break;
    case 'D':
      t = std::make_unique<DeleteTrans>();
      if (!in.getNumber(t->id, modifstream::Overflow::kFail)) {
        in.checkRead();
        throw InvalidNumber();  // no field follows that would report it
      }
      break;
    default:
      throw InvalidType();
  }
  // A digit right after the last number means the number rule cut it short
  // ("D 08" reads 0): skipping the rest of the line would hide that.
  if (in.numberCutShort()) throw NumberCutShort();

  // Skip the rest of the line, stopping as soon as nothing can be read, and
  // note what was lost there.
  skippedLine_ = in.line();
  skipped_ = Skipped::kNothing;
  bool carriageReturn = false;
  for (int c = in.getRaw();
       c != '\n' && c != modifstream::traits_type::eof();) {
    if (c == '\r') {
      carriageReturn = true;
    } else if (!isWhiteSpace(c) && skipped_ == Skipped::kNothing) {
      skipped_ = carriageReturn ? Skipped::kLoneCarriageReturn : Skipped::kText;
    }
    c = in.getRaw();
  }
  in.checkRead();
  return t;
}

void EmpTrans::readContent() {
  modifstream& in = *transFile;
  in.getQuoted(name, kNameBytes, '"');
  nameHeldNul_ = in.quotedHeldNul();
  char letter = '\0';
  const bool read = in.getChar(letter);
  in.checkRead();
  if (!read) throw InvalidCategory();
  switch (letter) {
    case 'S':
      category = 0;
      break;
    case 'H':
      category = 1;
      break;
    case '*':
      category = -1;
      break;
    default:
      throw InvalidCategory();
  }
  // An amount that can't be read fails the stream: the date read reports
  // it, and suspect() says the amount is to blame.
  const Suspect s =
      suspectNumber(in.getNumber(amount, modifstream::Overflow::kFail),
                    Suspect::kAmount, Suspect::kAmountCut, false);
  if (s != Suspect::kNone) suspect_ = s;
  date = in.getDate();
}

void EmpTrans::loadOrReport(Employee& e) const {
  try {
    e.load(id);
  } catch (Employee::NoSuch&) {
    std::cerr << '\n' << std::flush;
    std::cerr << "Transaction found for invalid employee: " << id << std::flush;
    throw;
  }
}
