// BatchWriter: the transactions that make one employee file into another
// as empupdate applies them, written from the differences empdiff finds,
// one at a time (Pairing's order), as the lines of an emptrans.dat.
//
// Each difference the transactions cannot make is told on standard error
// instead, a line each, every one of them, in empdiff's words: "empdiff:
// change 4: the transactions cannot set an amount of 0 (a change keeps the
// amount given as 0)". What they cannot make: a removal; a deleted mark
// set back to 0, or set to any but 0 or 1; a change of a record that is
// not the first holding its number, which a change or delete never finds;
// an add of any number but the next one the run gives; a name, category,
// amount or date the reader refuses, or, in a change, a field given as the
// value that keeps it.
//
// A change is written with only the fields that differ, the others given
// as the values that keep them; an add whose record is deleted is an add,
// then a delete. Names go out as their exact bytes, numbers in decimal.
// Nothing throws but allocation and what `fetch` throws.
#ifndef EMPUPDATE_TOOLS_BATCHWRITER_H_
#define EMPUPDATE_TOOLS_BATCHWRITER_H_

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Difference.h"
#include "Employee.h"

class BatchWriter {
 public:
  // The adds get the numbers after `highest`, the highest number of the
  // file the batch applies to (0 when none is above 0). `ordered`: the
  // adds come in the order of their numbers, so that each is written when
  // it comes; else they are held until finish(). `out`: where the
  // transactions go, or null, for a pass that only tells what the
  // transactions cannot make. `program` starts each line told.
  BatchWriter(const char* program, std::int32_t highest, bool ordered,
              std::FILE* out)
      : program_(program),
        next_(std::int64_t{highest} + 1),
        ordered_(ordered),
        out_(out) {}

  // A difference `d` of a kind, between `before` (null for an add) and
  // `after` (null for a removal). `first`: `before` is the first record
  // of its file that holds its number. `at`: the place of `after` in its
  // file.
  void take(const Difference& d, const Employee* before, const Employee* after,
            bool first, std::int64_t at);
  // The adds held, in the order of their numbers, each with its record,
  // which fetch(at) gives.
  void finish(const std::function<Employee(std::int64_t)>& fetch);
  // How many differences were told on standard error.
  long problems() const { return problems_; }

 private:
  // Tells on standard error why the transactions cannot make a difference,
  // of the line that `opening` starts, in `words` (after "the transactions
  // cannot "), whose %s is `value`.
  void tell(const std::string& opening, const char* words,
            const std::string& value = "");
  // Tells each field of `e` that the transactions cannot write: in an
  // add, when `changed` is null, every field; else, in a change, each that
  // `changed` names.
  void checkFields(const std::string& opening, const Employee& e,
                   const Difference* changed);
  // An add, in the order of the numbers.
  void add(const Employee& e);
  void change(const Difference& d, const Employee& before,
              const Employee& after, bool first);
  void write(const std::string& line);

  const char* program_;
  std::int64_t next_;  // the number the next add gets
  bool ordered_;
  std::FILE* out_;
  long problems_ = 0;
  std::vector<std::pair<std::int32_t, std::int64_t>> held_;  // number, at
};

#endif  // EMPUPDATE_TOOLS_BATCHWRITER_H_
