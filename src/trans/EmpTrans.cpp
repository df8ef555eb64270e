#include "EmpTrans.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <string_view>

#include "Display.h"
#include "FieldReader.h"
#include "Recovery.h"
#include "TransReader.h"

modifstream* EmpTrans::transFile = nullptr;

using Hint = Finding::Hint;

std::string EmpTrans::letters() {
  // Made only when a diagnostic names the letters: no state to keep.
  std::string all;
  for (const Kind* k : kinds()) all += k->letter;
  return Display::choices(all);
}

int EmpTrans::placeOf(char letter) {
  const std::span<const Kind* const> all = kinds();
  for (std::size_t k = 0; k < all.size(); ++k) {
    if (all[k]->letter == letter) return static_cast<int>(k);
  }
  return -1;
}

std::string EmpTrans::synopsis(const Kind& kind) {
  std::string out(1, kind.letter);
  for (const Part p : kind.fields) out += std::string(" ") + Finding::syntax(p);
  return out;
}

std::string EmpTrans::kindList(const char* indent) {
  std::size_t width = 0;
  for (const Kind* k : kinds()) width = std::max(width, synopsis(*k).size());
  std::string out, notes;
  for (const Kind* k : kinds()) {
    const std::string line = synopsis(*k);
    out += indent + line + std::string(width + 2 - line.size(), ' ') + k->name +
           "\n";
    if (k->note != nullptr) notes += k->note + std::string("\n");
  }
  return out + notes;
}

void EmpTrans::readContent(FieldReader& in) {
  const std::span<const Part> fields = kinds()[kind_]->fields;
  if (fields.empty()) return;
  in.suspectWord(fields.front());
  for (std::size_t k = 0; k < fields.size(); ++k) {
    const Part next = k + 1 < fields.size() ? fields[k + 1] : Part::kType;
    switch (fields[k]) {
      case Part::kNumber:
        id = in.integer(Part::kNumber, next);
        break;
      case Part::kName:
        in.name(name, kinds()[kind_]->hasNumber()   ? Hint::kKeepsFields
                      : kinds()[kind_]->givesNumber ? Hint::kAddTakesNoNumber
                                                    : Hint::kNone);
        break;
      case Part::kCategory:
        category = in.category();
        break;
      case Part::kAmount:
        amount = in.integer(Part::kAmount, next);
        break;
      case Part::kDate:
        date = in.date(next == Part::kType);
        for (const Part q : {Part::kYear, Part::kMonth, Part::kDay}) {
          if (!ignores(q)) in.warnOfNumber(q);
        }
        break;
      default:
        break;
    }
  }
}

void EmpTrans::openFile(int* error, bool create) {
  if (transFile == nullptr) {
    auto* stream = new modifstream(kFileName, create);
    if (stream->fail()) {
      if (error != nullptr) *error = stream->error();
      delete stream;
      throw CantOpenFile();
    }
    transFile = stream;
  }
  transFile->rewind();
}

void EmpTrans::closeFile() {
  if (transFile == nullptr) return;
  transFile->close();
  delete transFile;
  transFile = nullptr;
}

void EmpTrans::rewindFile() {
  transFile->clear();
  transFile->rewind();
}

std::unique_ptr<EmpTrans> EmpTrans::get() {
  Reading scratch;
  return get(scratch);
}

std::unique_ptr<EmpTrans> EmpTrans::get(Reading& r) {
  return TransReader(*transFile).get(r);
}

void EmpTrans::skipFailed(const Reading& r) { Recovery(*transFile, r).skip(); }

void EmpTrans::moveToLine(long line) {
  while (transFile->line() < line &&
         transFile->getRaw() != modifstream::traits_type::eof()) {
  }
}

long EmpTrans::skipToNext() {
  while (modifstream::isWhiteSpace(transFile->peekRaw())) transFile->getRaw();
  transFile->checkRead();  // a broken disk is not the end of the text
  return transFile->peekRaw() == modifstream::traits_type::eof()
             ? 0
             : transFile->line();
}

std::optional<Employee> EmpTrans::recordBefore() const {
  if (!kinds()[kind_]->hasNumber()) return std::nullopt;
  return recordOf(id);
}

std::optional<Employee> EmpTrans::recordAfter() const {
  return recordOf(kinds()[kind_]->givesNumber ? Employee::getMaxId() : id);
}

std::optional<Employee> EmpTrans::recordOf(std::int32_t id) {
  Employee e;
  try {
    e.load(id);
  } catch (Employee::NoSuch&) {
    return std::nullopt;
  }
  return e;
}

void EmpTrans::loadOrReport(Employee& e) const {
  try {
    e.load(id);
  } catch (Employee::NoSuch&) {
    *messages_ << '\n' << std::flush;
    *messages_ << "Transaction found for invalid employee: " << id
               << std::flush;
    throw;
  }
}
